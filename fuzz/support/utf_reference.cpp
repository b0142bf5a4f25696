// The table of well-formed UTF-8 byte sequences, row by row.
#include "utf_reference.h"

#include <algorithm>

namespace {

struct SequenceRow {
    unsigned char leadLow, leadHigh;
    unsigned char secondLow, secondHigh;
    size_t length;
};

// Every byte after the second lies in 80..BF.
const SequenceRow kRows[] = {
    {0x00, 0x7F, 0, 0, 1},       {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3},
    {0xE1, 0xEC, 0x80, 0xBF, 3}, {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
    {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
};

unsigned char ByteAt(const std::string& bytes, size_t pos) {
    return static_cast<unsigned char>(bytes[pos]);
}

// How many bytes from `pos` on lie in the row's columns (the lead, the
// second byte, then 80..BF), up to the row's length or the end of input.
size_t FittingBytes(const SequenceRow& row, const std::string& bytes, size_t pos) {
    size_t fit = 0;
    for (; fit < row.length && pos + fit < bytes.size(); ++fit) {
        const unsigned char byte = ByteAt(bytes, pos + fit);
        const unsigned char low = fit == 0 ? row.leadLow : fit == 1 ? row.secondLow : 0x80;
        const unsigned char high = fit == 0 ? row.leadHigh : fit == 1 ? row.secondHigh : 0xBF;
        if (byte < low || byte > high) break;
    }
    return fit;
}

bool IsHigh(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

size_t WellFormedLength(const std::string& bytes, size_t pos) {
    for (const SequenceRow& row : kRows)
        if (FittingBytes(row, bytes, pos) == row.length) return row.length;
    return 0;
}

bool IsValidUtf8(const std::string& bytes) {
    for (size_t pos = 0; pos < bytes.size();) {
        const size_t length = WellFormedLength(bytes, pos);
        if (length == 0) return false;
        pos += length;
    }
    return true;
}

std::string ReplaceMaximalSubparts(const std::string& bytes) {
    std::string out;
    for (size_t pos = 0; pos < bytes.size();) {
        const size_t length = WellFormedLength(bytes, pos);
        if (length > 0) {
            out.append(bytes, pos, length);
            pos += length;
            continue;
        }
        // The longest start of a row's sequence found here, or one byte
        // that starts none.
        size_t subpart = 1;
        for (const SequenceRow& row : kRows)
            subpart = std::max(subpart, FittingBytes(row, bytes, pos));
        out += "\xEF\xBF\xBD";
        pos += subpart;
    }
    return out;
}

bool HasUnpairedSurrogate(const std::u16string& units) {
    return ReplaceUnpairedSurrogates(units) != units;
}

std::u16string ReplaceUnpairedSurrogates(const std::u16string& units) {
    std::u16string out = units;
    for (size_t i = 0; i < out.size(); ++i) {
        if (IsHigh(out[i]) && i + 1 < out.size() && IsLow(out[i + 1])) {
            ++i;
        } else if (IsHigh(out[i]) || IsLow(out[i])) {
            out[i] = 0xFFFD;
        }
    }
    return out;
}

bool SplitsAPair(const std::u16string& before, const std::u16string& after) {
    return !before.empty() && !after.empty() && IsHigh(before.back()) && IsLow(after.front());
}
