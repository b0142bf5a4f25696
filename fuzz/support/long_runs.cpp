// Expanding the run marks of fuzz inputs.
#include "long_runs.h"

#include <algorithm>

std::string ExpandRuns(const uint8_t* data, size_t size) {
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != kRunMark || i + 1 >= size) {
            out += static_cast<char>(data[i]);
        } else if (data[i + 1] == 0) {
            out += static_cast<char>(kRunMark);
            ++i;
        } else if (i + 2 < size) {
            const char filler = static_cast<char>(data[i + 2]);
            const size_t room = out.size() < kMaxExpandedBytes ? kMaxExpandedBytes - out.size() : 0;
            out.append(filler == '\n' ? 1 : std::min(data[i + 1] * kRunUnit, room), filler);
            i += 2;
        } else {
            out += static_cast<char>(data[i]);
        }
    }
    return out;
}
