// The library's socket layer replaced for fuzzing: the "server" is a byte
// string handed out in chunks of changing size, so that lines arrive split
// anywhere; what the library sends is dropped. Connecting always works.
#pragma once

#include <string>

// What the server sends from the next connection on; once it has all been
// read, the server closes the connection.
void SetServerScript(const std::string& bytes);

// True once every byte of the script has been read.
bool ServerScriptDone();
