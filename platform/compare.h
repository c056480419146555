// Locale-aware comparison that ignores letter case.
#pragma once

#include <string>

// Negative, zero or positive as a sorts before, equal to, or after b.
int CompareTextIgnoreCase(const std::u16string& a, const std::u16string& b);
