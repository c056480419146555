// The running process: its executable and its arguments.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Hands the arguments of main to the platform layer; called first thing in main. Platforms
// that read the command line themselves ignore them.
void InitProcessArguments(int argc, char** argv);

// The full path of the running executable; empty, on every platform, when the system cannot
// tell it whole (never a cut-off path). Raises only when memory or the narrow encoding's
// converter fails.
std::u16string ExecutablePath();

// Arguments 1 to N as the platform delivers them; never an empty one.
std::vector<std::u16string> ProcessArguments();

// For each of arguments 1 to N, visible_units(argument) tells how many leading UTF-16 units
// stay readable; the rest is overwritten with 'X' in the process's own argument memory, so that
// other users no longer read it from the process list. std::u16string::npos leaves an argument
// untouched. What ProcessArguments() returns afterwards is unchanged.
void ConcealArguments(const std::function<size_t(const std::u16string&)>& visible_units);
