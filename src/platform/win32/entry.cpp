// Windows entry: a GUI-subsystem program that opens no window; the command
// line is read through the platform seam, not from these parameters.
#include <windows.h>

#include "core/startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return RunBridge(); }
