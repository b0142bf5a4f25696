// The steps of one connection's life: connecting, the handshake, reading and
// writing lines, and ending it with the right event.
#pragma once

#include <string>

#include "instance.h"

// Closes the socket, forgets unsent and half-read bytes, returns to idle and
// queues clientEvent (none when it is CLIENTEVENT_NONE).
void EndLink(TTInstance& instance, INT32 clientEvent);

// Starts connecting to the next resolved address; when none is left the
// attempt has failed.
void TryNextAddress(TTInstance& instance);

// Queues a whole line for the server and sends what the socket takes now.
void SendLine(TTInstance& instance, const std::string& line);

// Waits at most timeoutMs for the socket, then does what it allows.
void ServiceLink(TTInstance& instance, int timeoutMs);
