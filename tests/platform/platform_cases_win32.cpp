// The Windows side of the shared process and dynamic-library tests: drive letters, and names
// that ignore letter case.
#include <windows.h>

#include "platform/compare.h"
#include "tests/platform/platform_cases.h"

bool IsFullPathOfThisTestProgram(const std::u16string& path) {
  const std::u16string tail = u"\\platform_tests.exe";
  return path.size() > tail.size() && path.substr(1, 2) == u":\\" &&
         CompareTextIgnoreCase(path.substr(path.size() - tail.size()), tail) == 0;
}

KnownLibrary SystemLibrary() {
  return {
      "kernel32.dll", "GetTickCount",
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount"))};
}

void DisturbSystemError() { SetLastError(0); }

void SleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }
