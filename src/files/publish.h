// Publishing a file that the game polls (state, users, channels): the new
// content is written beside the old file and moved over it, so that a
// reader sees either the old or the new content, never a torn one.
#pragma once

#include <string>

// One attempt; true when the content is in place.
bool TryPublish(const std::string& path, const std::string& text);
