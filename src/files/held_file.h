// A file that the game holds open so that the bridge cannot replace or
// move it: for a moment as a rule, while a read or a write is under way,
// for good in a careless game. Past a second the bridge stops waiting and
// writes the file in place.
#pragma once

#include <chrono>
#include <optional>

using HeldSince = std::optional<std::chrono::steady_clock::time_point>;

// Notes the first refusal; true once the refusals have lasted a second.
inline bool HeldTooLong(HeldSince& since) {
    const auto now = std::chrono::steady_clock::now();
    if (!since) since = now;
    return now - *since >= std::chrono::seconds(1);
}
