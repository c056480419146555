// The command-line splitter on arbitrary lines.
#include "platform/command_line.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// The line a caller would write for these tokens: each quoted, so blanks stay inside.
std::u16string Quoted(const SplitCommandLineResult& split) {
  std::u16string line = u"\"" + split.program + u"\"";
  for (const std::u16string& argument : split.arguments) line += u" \"" + argument + u"\"";
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string line = Widen(Bytes(data, size));
  const SplitCommandLineResult split = SplitCommandLine(line);

  size_t units = split.program.size();
  FUZZ_CHECK(split.positions.size() == split.arguments.size());
  size_t after = 0;  // every argument stands after the one before it
  for (size_t i = 0; i < split.arguments.size(); ++i) {
    const std::u16string& argument = split.arguments[i];
    const std::vector<size_t>& positions = split.positions[i];
    FUZZ_CHECK(!argument.empty());
    // Each unit is reported where the line holds it, in order.
    FUZZ_CHECK(positions.size() == argument.size());
    for (size_t k = 0; k < positions.size(); ++k) {
      FUZZ_CHECK(positions[k] >= after && positions[k] < line.size());
      FUZZ_CHECK(line[positions[k]] == argument[k]);
      after = positions[k] + 1;
    }
    // Quotes are dropped, and the line ends at a NUL.
    FUZZ_CHECK(argument.find(u'"') == std::u16string::npos);
    FUZZ_CHECK(argument.find(u'\0') == std::u16string::npos);
    units += argument.size();
  }
  FUZZ_CHECK(split.program.find(u'"') == std::u16string::npos);
  FUZZ_CHECK(units <= line.size());
  // Without a program name the line held nothing but separators.
  if (split.program.empty()) FUZZ_CHECK(split.arguments.empty());

  // Quoting every token and splitting again gives the same tokens back.
  if (!split.program.empty()) {
    const SplitCommandLineResult again = SplitCommandLine(Quoted(split));
    FUZZ_CHECK(again.program == split.program);
    FUZZ_CHECK(again.arguments == split.arguments);
  }
  return 0;
}
