// The endless main loop: drain the library's events, look at the command
// file, and every 100 ms retry what could not be written. The wait for
// events, at most 16 ms, is the loop's only pause.
#pragma once

[[noreturn]] void RunMainLoop();

// Hands events to their handlers until a wait passes without one (16 ms at
// first, 10 ms once events came) or the drain's 100 ms are up, then
// publishes the directories that changed.
void DrainEvents();
