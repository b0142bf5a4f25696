// What a join command names: the channel, and the password that may follow
// it after a bar. `joinid <id>|<password>` takes everything after the first
// bar; `joinpath` finds a channel by its name as channels.txt shows it, or
// by its path from the root, and takes the text after its last bar as the
// password only when the whole argument names no channel.
#pragma once

#include <cstdint>
#include <string>

struct JoinTarget {
    int32_t channelId = 0;  // 0: none found
    std::string password;
    bool hasPassword = false;
    // The argument up to the password: what the game may see again.
    std::string named;
};

JoinTarget ReadJoinById(const std::string& argument);

// `argument` as written, for a name may end in a blank.
JoinTarget ReadJoinByPath(const std::string& argument);

// What stands in a log or events.txt for a password.
inline constexpr const char* kMaskedPassword = "***";
