#include <windows.h>

#include <string_view>

#include "params/command_line.h"
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

// Where each unit of arguments 1 to N stands in the command line, by the splitter's rules
// (params/command_line.h): blanks and controls separate, pairs of quotes between tokens are
// skipped, a quote opens a stretch up to the next quote or the end, and quotes are dropped.
std::vector<std::vector<size_t>> ArgumentPositions(std::u16string_view line) {
  size_t pos = 0;
  const size_t end = line.size();
  auto next_token = [&] {
    while (pos < end) {
      if (line[pos] <= u' ') {
        ++pos;
      } else if (line[pos] == u'"' && pos + 1 < end && line[pos + 1] == u'"') {
        pos += 2;
      } else {
        break;
      }
    }
    std::vector<size_t> units;
    while (pos < end && line[pos] > u' ') {
      if (line[pos] != u'"') {
        units.push_back(pos++);
        continue;
      }
      size_t close = line.find(u'"', pos + 1);
      if (close == std::u16string_view::npos) close = end;
      for (size_t i = pos + 1; i < close; ++i) units.push_back(i);
      pos = close == end ? end : close + 1;
    }
    return units;
  };
  next_token();  // the program name
  std::vector<std::vector<size_t>> positions;
  for (std::vector<size_t> units = next_token(); !units.empty(); units = next_token())
    positions.push_back(std::move(units));
  return positions;
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
    if (buffer.size() >= 32768) return buffer.substr(0, n);
    buffer.assign(buffer.size() * 2, u'\0');
  }
}

std::vector<std::u16string> ProcessArguments() { return Arguments(); }

void ConcealArguments(const std::function<size_t(const std::u16string&)>& visible_units) {
  const std::vector<std::u16string>& arguments = Arguments();
  // The process list of Windows shows this very buffer (the process's parameter block).
  wchar_t* line = GetCommandLineW();
  if (line == nullptr) return;
  const std::u16string_view view(reinterpret_cast<const char16_t*>(line), wcslen(line));
  const std::vector<std::vector<size_t>> positions = ArgumentPositions(view);
  if (positions.size() != arguments.size()) return;
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::u16string seen;
    for (size_t pos : positions[i]) seen.push_back(view[pos]);
    if (seen != arguments[i]) continue;  // concealed before, or not where we think it is
    const size_t visible = visible_units(arguments[i]);
    if (visible == std::u16string::npos) continue;
    for (size_t k = visible; k < positions[i].size(); ++k) line[positions[i][k]] = L'X';
  }
}
