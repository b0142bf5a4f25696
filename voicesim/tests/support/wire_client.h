// A raw-socket voice client for the process tests: it speaks the wire
// protocol by hand and reads the server's lines with the line format that
// the server and the client library share (wireline/).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

using Line = std::vector<std::string>;

struct WireClient {
    int fd = -1;
    std::string inbound;
    int userId = 0;
    std::string nickname;
    std::vector<Line> loginLines;  // what followed LOGGEDIN, for login tests
};

bool WireConnect(WireClient& client, int port);
void WireClose(WireClient& client);

// Escapes and sends the fields as one line.
void WireSend(WireClient& client, const Line& fields);
// Sends bytes exactly as given.
void WireSendRaw(WireClient& client, const std::string& bytes);

// The next line without its LF, as it came; nullopt when the server closed
// the link or nothing came before the deadline.
std::optional<std::string> WireNextRawLine(
    WireClient& client, std::chrono::milliseconds timeout = std::chrono::seconds(20));

// A raw line's fields, unescaped; a line with a bad escape becomes the one
// field "<bad escape>" so that the test fails on it.
Line ParseLine(const std::string& raw);

// The next line, parsed as by ParseLine.
std::optional<Line> WireNextLine(WireClient& client,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(20));

// True when the server ends the link before the deadline; lines that come
// first are skipped.
bool WireWaitClosed(WireClient& client,
                    std::chrono::milliseconds timeout = std::chrono::seconds(20));
