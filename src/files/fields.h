// A value as it goes into a line of an exchange file: the game reads each
// file line by line and splits each line at its bars.
#pragma once

#include <string>

// Every carriage return and line feed as one space: a field that the game
// reads line by line must not make a line of its own, which anyone who can
// name a user, a channel or a message could otherwise forge.
std::string OnOneLine(const std::string& field);

// Every bar as a broken bar (U+00A6), so that a field before the last of a
// line cannot be taken for two.
std::string WithoutBars(const std::string& field);
