// Writing a port file whole.
#include "port_file.h"

#include <cstdio>

#include "sim_net.h"

bool WritePortFile(const std::string& path, int port) {
    const std::string temporary = path + ".tmp." + std::to_string(CurrentProcessId());
    // Binary, so the file holds the same bytes on every system.
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fprintf(file, "%d\n", port) > 0;
    if (std::fclose(file) != 0 || !written || !MoveFileOver(temporary, path)) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
