// What the shared environment tests need of one platform: removing a variable, and the
// expansions whose result differs between platforms (names ignore letter case on Windows, and
// its own rules for '%' that opens no reference).
#pragma once

#include <string>
#include <vector>

void UnsetVariable(const std::u16string& name);

struct ExpansionCase {
  std::u16string text;
  std::u16string expanded;
};
// With FBWARM_A set to "a-value", FBWARM_EMPTY to the empty text and FBWARM_NOSUCH unset.
extern const std::vector<ExpansionCase> kPlatformExpansionCases;
