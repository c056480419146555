// The owner of a Win32 handle that the Windows test helpers share: closed when it goes.
// Included by Windows test sources only.
#pragma once

#include <windows.h>

struct Handle {
  HANDLE h = nullptr;
  Handle() = default;
  explicit Handle(HANDLE handle) : h(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  void Close() {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    h = nullptr;
  }
};
