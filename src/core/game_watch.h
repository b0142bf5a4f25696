// Ending with the game, for any runtime: a game that cannot have the system
// end the bridge with it (no parent-death signal, no job object) names its
// process in VOICEBRIDGE_PARENT_PID, and the bridge ends once that process
// has, as a stop request ends it.
#pragma once

// Reads the variable and begins the watch, with one debug line on what it
// found. A process that has ended already ends the bridge here; a value
// that is not a positive decimal watches nothing.
void WatchGameProcess();

// Ends the bridge when the watched process has ended. Cheap, but a look
// every turn would be wasted: the loop looks a few times a second.
void EndIfGameProcessEnded();
