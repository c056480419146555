#include <windows.h>

#include "platform/dynamic_library.h"
#include "platform/text_encoding.h"

namespace {

// The error of the last failed load or look-up on this thread, taken right at the failure so
// that later calls cannot overwrite it.
thread_local DWORD t_last_error = 0;

std::u16string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return std::u16string();
  std::u16string message(reinterpret_cast<const char16_t*>(text), length);
  LocalFree(text);
  return message;
}

}  // namespace

DynamicLibrary* DynamicLibrary::Load(const std::string& file_name) {
  // A library that fails to load for a missing dependency must not bring up a dialog box.
  DWORD previous_mode = 0;
  const bool mode_set =
      SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_mode) != 0;
  const std::u16string name = FromNarrow(file_name);
  HMODULE module = LoadLibraryW(reinterpret_cast<const wchar_t*>(name.c_str()));
  const DWORD error = GetLastError();
  if (mode_set) SetThreadErrorMode(previous_mode, nullptr);
  if (module == nullptr) {
    t_last_error = error;
    return nullptr;
  }
  return new DynamicLibrary(module);
}

void* DynamicLibrary::Symbol(const char* name) {
  FARPROC address = GetProcAddress(static_cast<HMODULE>(handle_), name);
  if (address == nullptr) {
    t_last_error = GetLastError();
    return nullptr;
  }
  return reinterpret_cast<void*>(address);
}

DynamicLibrary::Error DynamicLibrary::LastError() {
  return Error{static_cast<int>(t_last_error), SystemMessage(t_last_error)};
}
