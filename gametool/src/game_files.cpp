// The game's side of the exchange files.
#include "game_files.h"

#include <cstdlib>
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

namespace {

// The complete lines of `path` from `offset` on, which moves past them; a
// file shorter than `offset` was begun anew and is read from its start.
// Not there, or held without sharing for a moment: nothing, and the place
// is kept, since starting again from 0 would repeat every line.
std::vector<std::string> ReadLinesFrom(const std::string& path, std::uint64_t& offset) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    in.seekg(0, std::ios::end);
    const auto size = static_cast<std::uint64_t>(static_cast<std::streamoff>(in.tellg()));
    if (size < offset) offset = 0;
    in.seekg(static_cast<std::streamoff>(offset));
    std::ostringstream rest;
    rest << in.rdbuf();
    const std::string text = rest.str();
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    offset += start;
    return lines;
}

// The sequence number of the "moved" line that begins a new events.txt,
// or 0.
std::int64_t MovedMarkerOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string first;
    if (!in || !std::getline(in, first)) return 0;
    const std::string marker = std::string(1, kFieldSeparator) + kEventMoved + kFieldSeparator;
    const size_t at = first.find(marker);
    return at == std::string::npos ? 0 : std::atoll(first.substr(0, at).c_str());
}

}  // namespace

std::vector<std::string> ReadNewMessages(const std::string& dataDir, LineReader& reader) {
    return ReadLinesFrom(PathOf(dataDir, kPrivateMessageFileName), reader.offset);
}

std::vector<std::string> ReadNewEvents(const std::string& dataDir, LineReader& reader) {
    const std::string path = PathOf(dataDir, kEventsFileName);
    std::vector<std::string> lines;
    if (MovedMarkerOf(path) > reader.lastEvent) {
        // Moved aside since the last read: the rest of the full file first.
        lines = ReadLinesFrom(PathOf(dataDir, kOldEventsFileName), reader.offset);
        reader.offset = 0;
    }
    for (std::string& line : ReadLinesFrom(path, reader.offset)) lines.push_back(std::move(line));
    if (!lines.empty()) reader.lastEvent = std::atoll(lines.back().c_str());
    return lines;
}
