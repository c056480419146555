#include <windows.h>

#include <string_view>

#include "platform/command_line.h"
#include "platform/process.h"

namespace {

// The arguments as the command line held them at first sight: concealing overwrites the line.
const std::vector<std::u16string>& Arguments() {
  static const std::vector<std::u16string> arguments = [] {
    const wchar_t* line = GetCommandLineW();
    if (line == nullptr) return std::vector<std::u16string>();
    return SplitCommandLine(reinterpret_cast<const char16_t*>(line)).arguments;
  }();
  return arguments;
}

}  // namespace

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
    if (buffer.size() >= 32768) return std::u16string();  // never a cut-off path
    buffer.assign(buffer.size() * 2, u'\0');
  }
}

std::vector<std::u16string> ProcessArguments() { return Arguments(); }

void ConcealArguments(const std::function<size_t(const std::u16string&)>& visible_units) {
  const std::vector<std::u16string>& arguments = Arguments();
  // The process list of Windows shows this very buffer (the process's parameter block).
  wchar_t* line = GetCommandLineW();
  if (line == nullptr) return;
  const SplitCommandLineResult now =
      SplitCommandLine(std::u16string_view(reinterpret_cast<const char16_t*>(line), wcslen(line)));
  if (now.arguments.size() != arguments.size()) return;
  for (size_t i = 0; i < arguments.size(); ++i) {
    // Concealed before, or not where we think it is.
    if (now.arguments[i] != arguments[i]) continue;
    const size_t visible = visible_units(arguments[i]);
    if (visible == std::u16string::npos) continue;
    const std::vector<size_t>& positions = now.positions[i];
    for (size_t k = visible; k < positions.size(); ++k) line[positions[k]] = L'X';
  }
}
