// What the server does with each line a voice client sends.
#pragma once

#include <string>

#include "sim_state.h"

// line is one request without its LF. It is logged, then answered; a
// connection that must end is left with closeWhenFlushed set.
void HandleClientLine(Connection& connection, const std::string& line);
