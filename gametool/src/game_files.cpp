// The game's side of the exchange files.
#include "game_files.h"

#include <fstream>
#include <sstream>
#include <thread>

namespace {

std::string PathOf(const std::string& dataDir, const std::string& name) {
    return dataDir + "/" + name;
}

}  // namespace

void SleepBriefly() { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }

std::string ReadDataFile(const std::string& dataDir, const std::string& name) {
    std::ifstream in(PathOf(dataDir, name), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool WriteCommand(const std::string& dataDir, const std::string& command) {
    std::ofstream out(PathOf(dataDir, kCommandFileName), std::ios::binary | std::ios::trunc);
    out << command;
    out.close();
    return static_cast<bool>(out);
}

bool WriteCommandInTwoPieces(const std::string& dataDir, const std::string& first,
                             const std::string& second, std::chrono::milliseconds pause) {
    std::ofstream out(PathOf(dataDir, kCommandFileName), std::ios::binary | std::ios::trunc);
    out << first << std::flush;
    std::this_thread::sleep_for(pause);
    out << second;
    out.close();
    return static_cast<bool>(out);
}

bool CommandFileFree(const std::string& dataDir) {
    return ReadDataFile(dataDir, kCommandFileName).empty();
}

bool SendCommand(const std::string& dataDir, const std::string& command,
                 std::chrono::milliseconds timeout) {
    if (!WaitFor([&] { return CommandFileFree(dataDir); }, timeout)) return false;
    if (!WriteCommand(dataDir, command)) return false;
    return WaitFor([&] { return ReadDataFile(dataDir, kCommandFileName) != command; }, timeout);
}

std::optional<std::int64_t> LockHolder(const std::string& dataDir) {
    const std::string text = ReadDataFile(dataDir, kLockFileName);
    const size_t end = text.find('\n');
    if (end == 0 || end == std::string::npos || text.find_first_not_of("0123456789") != end ||
        end > 18)
        return std::nullopt;
    return std::stoll(text.substr(0, end));
}

std::map<std::string, std::string> ParseStateText(const std::string& text) {
    // Each entry starts where the next key is expected; everything up to it
    // is the value, line feeds included, less the entry's own last one.
    std::map<std::string, std::string> entries;
    size_t pos = 0;
    for (size_t k = 0; k < std::size(kStateKeys) && pos < text.size(); ++k) {
        const std::string key = std::string(kStateKeys[k]) + kFieldSeparator;
        if (text.compare(pos, key.size(), key) != 0) break;
        size_t end = text.size();
        if (k + 1 < std::size(kStateKeys)) {
            const std::string next = std::string("\n") + kStateKeys[k + 1] + kFieldSeparator;
            const size_t found = text.find(next, pos + key.size());
            if (found != std::string::npos) end = found + 1;
        }
        std::string value = text.substr(pos + key.size(), end - pos - key.size());
        if (!value.empty() && value.back() == '\n') value.pop_back();
        entries[kStateKeys[k]] = value;
        pos = end;
    }
    return entries;
}

std::vector<std::string> ReadNewMessages(const std::string& dataDir, PmReader& reader) {
    std::ifstream in(PathOf(dataDir, kPrivateMessageFileName), std::ios::binary);
    // Not there, or held without sharing for a moment: the place is kept,
    // since starting again from 0 would repeat every message.
    if (!in) return {};
    in.seekg(0, std::ios::end);
    const auto size = static_cast<std::uint64_t>(static_cast<std::streamoff>(in.tellg()));
    if (size < reader.offset) reader.offset = 0;
    in.seekg(static_cast<std::streamoff>(reader.offset));
    std::ostringstream rest;
    rest << in.rdbuf();
    const std::string text = rest.str();
    std::vector<std::string> entries;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        entries.push_back(text.substr(start, end - start));
    reader.offset += start;
    return entries;
}
