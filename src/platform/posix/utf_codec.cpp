// UTF-8 <-> UTF-16 for POSIX systems. Ill-formed UTF-8 is replaced the way
// the Unicode standard recommends (maximal subparts), so that one broken
// sequence never costs the valid text that follows it.
#include "utf_codec.h"

namespace {

const char16_t kReplacement = 0xFFFD;

// The range the second byte of a sequence must fall in, which rules out
// overlong forms, surrogates and code points above U+10FFFF.
void SecondByteRange(unsigned char lead, unsigned char& low, unsigned char& high) {
    low = 0x80;
    high = 0xBF;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
}

int SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

void AppendCodePoint(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

std::u16string DecodeUtf8(const std::string& bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        const int length = SequenceLength(lead);
        if (length == 0) {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        // Take bytes while they can still lead to a well-formed sequence.
        // The first that cannot is left for the next turn, so it is never
        // lost, and what was taken before it is one replacement.
        char32_t cp = lead & (0x7F >> length);
        unsigned char low, high;
        SecondByteRange(lead, low, high);
        int taken = 1;
        while (taken < length && i + taken < n) {
            const unsigned char byte = static_cast<unsigned char>(bytes[i + taken]);
            if (byte < low || byte > high) break;
            cp = (cp << 6) | (byte & 0x3F);
            low = 0x80;
            high = 0xBF;
            ++taken;
        }
        if (taken == length) {
            AppendCodePoint(out, cp);
        } else {
            out.push_back(kReplacement);
        }
        i += taken;
    }
    return out;
}

std::string EncodeUtf8(const char16_t* units, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        char32_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            unit = kReplacement;
        }
        AppendUtf8(out, unit);
    }
    return out;
}
