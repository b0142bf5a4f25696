// Running a scenario file through the control command table.
#include "scenario.h"

#include <fstream>
#include <vector>

#include "control_commands.h"
#include "wireline.h"

namespace {

// Blank lines and comments, which may be indented.
bool IsSkipped(const std::string& line) {
    const size_t first = line.find_first_not_of(" \t");
    return first == std::string::npos || line[first] == '#';
}

}  // namespace

bool RunScenarioFile(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open scenario " + path;
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // Editors on Windows (older Notepad, PowerShell 5) start a UTF-8
        // file with a byte-order mark.
        if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
        if (IsSkipped(line)) continue;
        std::vector<std::string> fields;
        std::vector<std::string> reply;
        if (!ReadFields(line, fields)) {
            reply = {"ERR", "bad escape sequence"};
        } else {
            reply = RunControlCommand(fields);
        }
        if (reply[0] == "OK") continue;
        error = path + ":" + std::to_string(number) + ": " + (reply.size() > 1 ? reply[1] : "");
        return false;
    }
    return true;
}
