// The file-system form of a path, shared by the POSIX implementation files.
#pragma once

#include <string>

#include "platform/text_encoding.h"

// A path with a NUL or with a character that the narrow encoding lacks names no file:
// converted, it would name a different one ('?' in its place). False for such a path.
inline bool NativePath(const std::u16string& path, std::string& native) {
  native = ToNarrow(path);
  if (native.find('\0') != std::string::npos) return false;
  return FromNarrow(native) == path;
}
