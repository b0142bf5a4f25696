// Failure reports of the fuzzers.
#include "fuzz_check.h"

#include <cstdio>
#include <cstdlib>

void FuzzFailure(const char* file, int line, const char* condition, const std::string& detail) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n%s\n", file, line, condition,
                 detail.c_str());
    std::fflush(stderr);
    std::abort();
}

namespace {

// Long texts are shown by their ends; the middle rarely tells anything.
constexpr size_t kShownItems = 200;

template <class Item, class Format>
std::string ShowItems(const std::basic_string<Item>& items, Format format) {
    std::string out = "[" + std::to_string(items.size()) + "] ";
    for (size_t i = 0; i < items.size(); ++i) {
        if (items.size() > 2 * kShownItems && i == kShownItems) {
            out += " ... ";
            i = items.size() - kShownItems;
        }
        out += format(items[i]);
    }
    return out;
}

}  // namespace

std::string Show(const std::string& bytes) {
    return ShowItems(bytes, [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') return std::string(1, c);
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", byte);
        return std::string(hex);
    });
}

std::string Show(const std::u16string& units) {
    return ShowItems(units, [](char16_t unit) {
        if (unit >= 0x20 && unit < 0x7F && unit != '\\')
            return std::string(1, static_cast<char>(unit));
        char hex[10];
        std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(unit));
        return std::string(hex);
    });
}
