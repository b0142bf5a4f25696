// Publishing a file that the game polls (state, users, channels): the new
// content is written beside the old file and moved over it, so that a
// reader sees either the old or the new content, never a torn one.
#pragma once

#include <string>

enum class PublishOutcome {
    Landed,
    // The replace was refused: a reader holds the file without delete
    // sharing, for microseconds as a rule, for good in a careless game.
    Refused,
    // The new content could not be written beside the file (a full disk):
    // the old file stays as it was.
    Unwritable,
};

// One attempt, with a few quick retries of a refused replace. Never writes
// the file in place, and leaves no temporary file behind.
PublishOutcome TryPublish(const std::string& path, const std::string& text);
