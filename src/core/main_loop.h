// The endless main loop: drain the library's events, poll the command
// file, sleep.
#pragma once

#include "voiceclient.h"

[[noreturn]] void RunMainLoop();

// Hands events to their handlers until a full wait passes without one.
void DrainEvents(TTMessage& message);
