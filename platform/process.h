// The running process: its executable and its arguments.
#pragma once

#include <string>
#include <vector>

// Hands the arguments of main to the platform layer; called first thing in main. Platforms
// that read the command line themselves ignore them.
void InitProcessArguments(int argc, char** argv);

// The full path of the running executable.
std::u16string ExecutablePath();

// Arguments 1 to N as the platform delivers them; never an empty one.
std::vector<std::u16string> ProcessArguments();
