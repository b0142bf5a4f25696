// The port files tests and scripts wait for.
#pragma once

#include <string>

// Writes the port through a temporary file moved into place, so a reader
// sees either no file or the whole number.
bool WritePortFile(const std::string& path, int port);
