// The endless main loop: drain the library's events, poll the command
// file, sleep.
#pragma once

[[noreturn]] void RunMainLoop();

// Hands events to their handlers until a wait passes without one (100 ms
// at first, 10 ms once events came) or the drain's 100 ms are up, then
// publishes the directories that changed.
void DrainEvents();
