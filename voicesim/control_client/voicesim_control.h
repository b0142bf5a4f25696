// A small client for voicesim's control port, for tests of anything that
// talks to the simulated server. Commands and replies are lines of
// TAB-separated fields, escaped as on the voice wire (backslash, TAB, LF
// and CR become \\, \t, \n and \r); this library does the escaping.
#pragma once

#include <chrono>
#include <string>
#include <vector>

// A connection to the control port on 127.0.0.1, kept across commands.
struct SimControlLink {
    int fd = -1;
    std::string received;  // bytes read past the last reply line
};

// Connects to 127.0.0.1:port; false when nothing accepts there.
bool SimControlOpen(SimControlLink& link, int port);

// A non-blocking TCP connection to 127.0.0.1:port, or -1. Loopback connects
// complete or fail at once, so this does not wait.
int ConnectLoopback(int port);

void SimControlClose(SimControlLink& link);

// Sends one command, such as {"channel", "add", "5", "1", "Sala de espera"},
// and waits for its reply line. Returns the reply's fields, unescaped:
// {"OK", results...} or {"ERR", reason}. When the link breaks or no reply
// comes in time, returns {"ERR", "control link: ..."} and closes the link.
std::vector<std::string> SimControlCommand(
    SimControlLink& link, const std::vector<std::string>& command,
    std::chrono::milliseconds timeout = std::chrono::seconds(20));

// One command over a connection of its own.
std::vector<std::string> SimControl(int port, const std::vector<std::string>& command);

// The same with the command as text: TAB separates fields, every other
// byte is taken as it is. Returns the reply fields joined by TAB.
std::string SimControlText(int port, const std::string& command);
