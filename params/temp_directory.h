// Making sure that the directory a TEMP parameter names exists.
#pragma once

#include <string>

// True when path exists as a directory afterwards, creating the missing levels from the
// outermost inwards; levels created before a failure stay. One trailing separator is ignored.
// A path of fewer than 3 characters counts as present unchecked, and so does a path whose
// attributes cannot be read for a reason other than its absence. A relative path resolves
// against the current directory; its chain of parents ends in the empty path, which fails.
bool EnsureDirectory(const std::u16string& path);
