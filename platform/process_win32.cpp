#include <windows.h>

#include "params/command_line.h"
#include "platform/process.h"

// Windows hands a program its command line as one string; the arguments of main are the C
// runtime's own reading of it and are not used.
void InitProcessArguments(int, char**) {}

std::u16string ExecutablePath() {
  // MAX_PATH + 1 is enough for every ordinary path; a longer one gets a bigger buffer rather
  // than a cut-off path.
  std::u16string buffer(MAX_PATH + 1, u'\0');
  while (true) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD n = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(buffer.data()), size);
    if (n == 0) return std::u16string();
    if (n < size) return buffer.substr(0, n);
    if (buffer.size() >= 32768) return buffer.substr(0, n);
    buffer.assign(buffer.size() * 2, u'\0');
  }
}

std::vector<std::u16string> ProcessArguments() {
  const wchar_t* line = GetCommandLineW();
  if (line == nullptr) return {};
  return SplitCommandLine(reinterpret_cast<const char16_t*>(line)).arguments;
}
