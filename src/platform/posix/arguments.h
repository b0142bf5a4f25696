// The POSIX entry hands argv to the platform layer, which serves it as the
// process command line.
#pragma once

void PlatformSetArguments(int argc, char** argv);
