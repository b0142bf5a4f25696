// The data directory: claimed by one bridge at a time, with the holder's
// process ID in its lock file; the private messages emptied for this run;
// and made again should the game remove it while the bridge runs.
#pragma once

// 0 once this process serves the directory, else the exit code that says
// why it cannot (the exchange vocabulary's exit codes): another bridge
// serves it, or no file can be made in it.
int ClaimDataDirectory();

// Writes this process's ID into the lock file. A game may be reading the
// file, so the write is tried for a second; after that the loop writes it
// once the game lets go.
void RecordLockHolder();

// Empties data\pm_in.txt and data\events.txt for this run, and removes an
// earlier run's events.old.txt. A game may hold a file for a moment, so
// each write is tried for a second; then the file is made anew. False when
// even that fails: an old entry must never pass for a new one.
bool EmptyAppendedFiles();

// Every retry interval: writes the lock's holder where a game kept it from
// being written at start-up, and makes the data directory again should it
// be removed under the running bridge (or made again empty by someone
// else), with the lock's holder, the state and the lists in it.
void RestoreDataDirectoryIfGone();
