// Publishing the files that the game polls (state, users, channels): the
// new content is written beside the old file and moved over it, so that a
// reader sees either the old or the new content, never a torn one. A
// publish that cannot land now is kept and tried again on later loop turns.
#pragma once

#include <string>

// Returns true when the content is in place.
bool PublishFile(const std::string& path, const std::string& text);

// Tries every publish still pending; called once per loop turn.
void RetryPendingPublishes();

// True while some publish has not landed yet.
bool HasPendingPublishes();
