#include <string.h>
#include <unistd.h>

#include "platform/process.h"
#include "platform/text_encoding.h"

namespace {

// Kept as bytes: converted when asked for, so the narrow encoding chosen at start applies.
std::vector<std::string>& Arguments() {
  static std::vector<std::string> arguments;
  return arguments;
}

// The process's own argument memory, which /proc/<pid>/cmdline shows to every local user.
char** g_argv = nullptr;

}  // namespace

void InitProcessArguments(int argc, char** argv) {
  std::vector<std::string>& arguments = Arguments();
  arguments.clear();
  for (int i = 0; i < argc && argv[i]; ++i) arguments.emplace_back(argv[i]);
  g_argv = argv;
}

void ConcealArguments(const std::function<size_t(const std::u16string&)>& visible_units) {
  const std::vector<std::string>& arguments = Arguments();
  for (size_t i = 1; g_argv && i < arguments.size(); ++i) {
    const std::u16string argument = FromNarrow(arguments[i]);
    const size_t visible = visible_units(argument);
    if (visible == std::u16string::npos) continue;
    const size_t keep = ToNarrow(argument.substr(0, visible)).size();
    const size_t length = strlen(g_argv[i]);
    if (keep < length) memset(g_argv[i] + keep, 'X', length - keep);
  }
}

std::u16string ExecutablePath() {
  std::string buffer(256, '\0');
  while (true) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::u16string();
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      return FromNarrow(buffer);
    }
    buffer.resize(buffer.size() * 2);  // possibly cut off: try again with more room
  }
}

std::vector<std::u16string> ProcessArguments() {
  std::vector<std::u16string> result;
  const std::vector<std::string>& arguments = Arguments();
  for (size_t i = 1; i < arguments.size(); ++i)
    if (!arguments[i].empty()) result.push_back(FromNarrow(arguments[i]));
  return result;
}
