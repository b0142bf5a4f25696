// The endless main loop: drain the library's events, look at the command
// file, every 100 ms retry what could not be written, and every 250 ms see
// whether the game's process has ended. The wait for events, at most
// 16 ms, is the loop's only pause.
#pragma once

[[noreturn]] void RunMainLoop();

// Hands events to their handlers until a wait passes without one (16 ms at
// first, 10 ms once events came) or the drain's 100 ms are up, then
// publishes the directories that changed.
void DrainEvents();
