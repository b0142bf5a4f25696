// The endless main loop: drain the library's events, look at the command
// file, and every 100 ms retry what could not be written. The wait for
// events is the loop's only pause, so it turns every few milliseconds.
#pragma once

[[noreturn]] void RunMainLoop();

// Hands events to their handlers until a 10 ms wait passes without one or
// the drain's 100 ms are up, then publishes the directories that changed.
void DrainEvents();
