// A file that the game holds open so that the bridge cannot write, replace
// or move it: for a moment as a rule, while a read or a write is under way
// (a .NET reader shares reading only), for good in a careless game. The
// bridge waits a second at most, then does what it can without the file.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

inline constexpr auto kHeldLimit = std::chrono::seconds(1);

using HeldSince = std::optional<std::chrono::steady_clock::time_point>;

// Notes the first refusal; true once the refusals have lasted a second.
inline bool HeldTooLong(HeldSince& since) {
    const auto now = std::chrono::steady_clock::now();
    if (!since) since = now;
    return now - *since >= kHeldLimit;
}

// For what cannot wait for a later loop turn (start-up): tries `attempt`,
// true once done, again every few milliseconds for up to a second, and
// says in the debug log when it had to wait for `path`. False when it
// never succeeded.
bool RetryWhileHeld(const std::string& path, const std::function<bool()>& attempt);
