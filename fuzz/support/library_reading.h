// Whether the stand-in library reads a server line as a known, well-formed
// message: kept apart from voicesim's headers, whose names overlap the
// library's.
#pragma once

#include <string>

bool LibraryReadsLine(const std::string& line);
