// The data directory: claimed by one bridge at a time, with the holder's
// process ID in its lock file; the private messages emptied for this run;
// and made again should the game remove it while the bridge runs.
#pragma once

// 0 once this process serves the directory, else the exit code that says
// why it cannot (the exchange vocabulary's exit codes).
int ClaimDataDirectory();

// Empties data\pm_in.txt and data\events.txt for this run, and removes an
// earlier run's events.old.txt. A game may hold a file for a moment, so
// each write is tried for a second; then the file is made anew. False when
// even that fails: an old entry must never pass for a new one.
bool EmptyAppendedFiles();

// Once per loop turn: a data directory removed under the running bridge
// (or made again empty by someone else) is made again, with the lock's
// holder, the state and the lists in it.
void RestoreDataDirectoryIfGone();
