// The cases of the parameter file tests that hold on one platform only: each platform's file
// (param_file_posix_test.cpp, param_file_win32_test.cpp) defines them for the shared tests.
#pragma once

#include <string>
#include <vector>

struct ParameterFilePathCase {
  std::u16string executable;
  std::u16string expected;
};
extern const std::vector<ParameterFilePathCase> kPlatformParameterFilePaths;

// Bytes without a byte-order mark, decoded in the narrow encoding the tests run under.
struct NarrowCase {
  std::string bytes;
  std::u16string text;
};
extern const std::vector<NarrowCase> kPlatformNarrowCases;
// Makes the narrow encoding the one kPlatformNarrowCases expects: empty when it is, otherwise
// why not.
std::string PrepareNarrowEncoding();
