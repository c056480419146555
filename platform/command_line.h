// Splits a command line given as one string into the program name and its arguments, the way
// the Windows build reads its start parameters. Portable: it depends on no system, so it is
// tested and fuzzed on every platform.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct SplitCommandLineResult {
  std::u16string program;                 // the program name as typed; never an argument
  std::vector<std::u16string> arguments;  // arguments 1 to N, none of them empty
  // positions[i][k] is where unit k of arguments[i] stands in the line (quotes are dropped, so
  // the positions of one argument need not be adjacent).
  std::vector<std::vector<size_t>> positions;
};

// Tokens are separated by units up to U+0020. A double quote opens a stretch, closed by the
// next double quote or the end of the line, whose units (blanks included) belong to the token;
// the quotes themselves are dropped. Pairs of double quotes between tokens are skipped. There
// is no escape character. The line ends at its end or at a NUL.
SplitCommandLineResult SplitCommandLine(std::u16string_view line);
