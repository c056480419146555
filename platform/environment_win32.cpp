#include <windows.h>

#include "platform/environment.h"

namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

}  // namespace

std::optional<std::u16string> ExpandEnvironmentReferences(const std::u16string& text) {
  // First ask for the size (terminating NUL included), then expand into a buffer of that size.
  // Another thread may grow a variable in between; then ask again.
  DWORD size = ExpandEnvironmentStringsW(Wide(text), nullptr, 0);
  while (size != 0) {
    std::u16string buffer(size, u'\0');
    const DWORD needed =
        ExpandEnvironmentStringsW(Wide(text), reinterpret_cast<wchar_t*>(buffer.data()), size);
    if (needed == 0) break;
    if (needed <= size) return buffer.substr(0, buffer.find(u'\0'));
    size = needed;
  }
  return std::nullopt;
}

void SetEnvironmentValue(const std::u16string& name, const std::u16string& value) {
  SetEnvironmentVariableW(Wide(name), Wide(value));
}

std::optional<std::u16string> GetEnvironmentValue(const std::u16string& name) {
  std::u16string buffer(64, u'\0');
  while (true) {
    SetLastError(ERROR_SUCCESS);
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD n =
        GetEnvironmentVariableW(Wide(name), reinterpret_cast<wchar_t*>(buffer.data()), size);
    // 0 is both "not defined" and "defined as the empty text"; only the error code tells.
    if (n == 0) {
      if (GetLastError() == ERROR_SUCCESS) return std::u16string();
      return std::nullopt;
    }
    if (n < size) return buffer.substr(0, n);
    buffer.assign(n, u'\0');  // n counts the terminating NUL when the buffer was too small
  }
}
