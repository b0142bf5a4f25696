// Fuzzes the two UTF-8/UTF-16 codecs: the bridge's (src/platform/posix)
// and the stand-in library's (voiceclient/src/text_codec). The input is
// read once as UTF-8 and once as UTF-16 units. Checked:
//  - decoding never yields an unpaired surrogate, and what is encoded
//    again is valid UTF-8 that decodes to the same units;
//  - valid UTF-8 comes back byte for byte;
//  - the bridge replaces each maximal subpart of an ill-formed sequence
//    with one U+FFFD and keeps every other byte, as the reference in
//    utf_reference.cpp works it out from the table of well-formed
//    sequences (compared through EncodeUtf8, which is exact on text
//    without unpaired surrogates);
//  - the library's codec follows the same rule, so the two agree on all
//    input but NUL: the library turns it into U+FFFD, the bridge's decoder
//    keeps it and its Utf8ToWide stops at it;
//  - any UTF-16 encodes to valid UTF-8, unpaired surrogates as U+FFFD, and
//    both readers of fixed arrays stop at the first zero unit;
//  - the message splitters of the bridge and the library agree from two
//    units a piece up and never cut a pair; CopyToFixed always terminates.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "session/library_text.h"
#include "session/voice_library.h"
#include "text_codec.h"
#include "utf_codec.h"
#include "utf_reference.h"

namespace {

std::u16string NulsReplaced(std::u16string units) {
    for (char16_t& unit : units)
        if (unit == 0) unit = 0xFFFD;
    return units;
}

std::u16string Plain(const WideString& wide) { return std::u16string(wide.begin(), wide.end()); }

void CheckAsUtf8(const std::string& bytes) {
    const std::u16string bridge = DecodeUtf8(bytes);
    const std::u16string library = Utf8ToUtf16(bytes);
    FUZZ_CHECK(!HasUnpairedSurrogate(bridge), "bridge " + Show(bridge));
    FUZZ_CHECK(!HasUnpairedSurrogate(library), "library " + Show(library));
    FUZZ_CHECK(library.find(u'\0') == std::u16string::npos, "library kept a NUL");
    FUZZ_CHECK(Plain(Utf8ToWide(bytes)) == DecodeUtf8(bytes.substr(0, bytes.find('\0'))),
               "Utf8ToWide does not stop at the first NUL");

    const std::string bridgeAgain = EncodeUtf8(bridge.data(), bridge.size());
    const std::string libraryAgain = Utf16ToUtf8(library.data(), library.size());
    FUZZ_CHECK(IsValidUtf8(bridgeAgain) && DecodeUtf8(bridgeAgain) == bridge, Show(bridgeAgain));
    FUZZ_CHECK(IsValidUtf8(libraryAgain) && Utf8ToUtf16(libraryAgain) == library,
               Show(libraryAgain));

    if (IsValidUtf8(bytes)) {
        FUZZ_CHECK(bridgeAgain == bytes, "bridge round trip " + Show(bridgeAgain));
        if (bytes.find('\0') == std::string::npos)
            FUZZ_CHECK(libraryAgain == bytes, "library round trip " + Show(libraryAgain));
    }
    FUZZ_CHECK(bridgeAgain == ReplaceMaximalSubparts(bytes),
               "bridge " + Show(bridge) + "\nexpected " + Show(ReplaceMaximalSubparts(bytes)));
    FUZZ_CHECK(library == NulsReplaced(bridge),
               "library " + Show(library) + "\nbridge " + Show(bridge));
}

void CheckSplits(const std::u16string& units, size_t maxUnits) {
    const std::vector<WideString> bridge =
        SplitMessageText(WideString(units.begin(), units.end()), maxUnits);
    const std::vector<TextUnits> library = SplitWholeChars(units, maxUnits);
    FUZZ_CHECK(bridge.size() == library.size(), std::to_string(bridge.size()) + " and " +
                                                    std::to_string(library.size()) + " pieces of " +
                                                    std::to_string(maxUnits));
    std::u16string joined;
    for (size_t i = 0; i < bridge.size(); ++i) {
        const std::u16string piece = Plain(bridge[i]);
        FUZZ_CHECK(piece == library[i],
                   "piece " + std::to_string(i) + ": " + Show(piece) + " and " + Show(library[i]));
        FUZZ_CHECK(piece.size() <= maxUnits && (!piece.empty() || bridge.size() == 1),
                   "piece " + std::to_string(i) + " " + Show(piece));
        FUZZ_CHECK(!SplitsAPair(joined, piece), "a pair cut before piece " + std::to_string(i));
        joined += piece;
    }
    FUZZ_CHECK(joined == units, "pieces " + Show(joined));
}

void CheckAsUtf16(const std::string& bytes) {
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       static_cast<unsigned char>(bytes[i + 1]) << 8);
    const std::string utf8 = EncodeUtf8(units.data(), units.size());
    FUZZ_CHECK(IsValidUtf8(utf8), Show(utf8));
    FUZZ_CHECK(DecodeUtf8(utf8) == ReplaceUnpairedSurrogates(units), Show(utf8));

    const std::u16string terminated = units.substr(0, units.find(u'\0'));
    const std::string expected = EncodeUtf8(terminated.data(), terminated.size());
    FUZZ_CHECK(Utf16ToUtf8(units.data(), units.size()) == expected, "library " + Show(units));
    FUZZ_CHECK(WideToUtf8(units.data(), units.size()) == expected, "bridge " + Show(units));

    const size_t small = bytes.empty() ? 2 : 2 + static_cast<unsigned char>(bytes[0]) % 14;
    CheckSplits(units, small);
    CheckSplits(units, TT_STRLEN - 1);

    TTCHAR array[TT_STRLEN];
    std::fill(array, array + TT_STRLEN, u'#');
    CopyToFixed(units, array, TT_STRLEN);
    const size_t kept = WholeCharPrefix(units, TT_STRLEN - 1);
    FUZZ_CHECK(kept < TT_STRLEN && array[kept] == 0, "CopyToFixed left no terminator");
    FUZZ_CHECK(units.compare(0, kept, array, kept) == 0 &&
                   !SplitsAPair(units.substr(0, kept), units.substr(kept)),
               "CopyToFixed kept " + Show(std::u16string(array, kept)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckAsUtf8(bytes);
    CheckAsUtf16(bytes);
    return 0;
}
