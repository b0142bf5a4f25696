/* voicebridge_game.c: the C kit's implementation, compiled on its own so that
   the system headers it needs (windows.h on Windows) stay out of the
   game's files. */
#define VOICEBRIDGE_GAME_IMPLEMENTATION
#include "voicebridge_game.h"
