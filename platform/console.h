// The console streams. Standard output takes whole lines in the narrow encoding ending in
// CR LF; on a terminal each line is written at once, into a file or a pipe the bytes are
// buffered and written by the end of the program. Every failure raises EInOutError.
#pragma once

#include <string_view>

// Process-wide console set-up: a closed pipe or a file-size limit must fail a write, not kill
// the process.
void InitConsole();

// Writes text (converted to the narrow encoding) and CR LF to standard output.
void ConsoleWriteLine(std::u16string_view text);

// Writes out whatever standard output still holds; raises EInOutError when that fails.
void ConsoleFlush();

// Reads one line from standard input and discards it: stops at LF, at the end of input or
// at the character 26 (Ctrl-Z).
void ConsoleReadLine();

// Last resort: writes text as it is to standard error, ignoring every failure.
void ConsoleWriteError(std::string_view text);

// True when standard error is a terminal (a console on Windows): only then is progress shown.
bool StandardErrorIsTerminal();
