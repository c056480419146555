#include <windows.h>

#include "platform/compare.h"

int CompareTextIgnoreCase(const std::u16string& a, const std::u16string& b) {
  const int result =
      CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE,
                     reinterpret_cast<const wchar_t*>(a.data()), static_cast<int>(a.size()),
                     reinterpret_cast<const wchar_t*>(b.data()), static_cast<int>(b.size()));
  if (result != 0) return result - CSTR_EQUAL;
  // The call only fails on invalid arguments; order by code units rather than call it equal.
  return a.compare(b);
}
