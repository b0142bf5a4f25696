// The library's parser, asked about voicesim's output.
#include "library_reading.h"

#include "server_messages.h"

bool LibraryReadsLine(const std::string& line) {
    const LineKind kind = ParseServerLine(line).kind;
    return kind != LineKind::malformed && kind != LineKind::unknown;
}
