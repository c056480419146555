#include "params/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"

namespace {

struct SplitCase {
  std::u16string line;
  std::u16string program;
  std::vector<std::u16string> arguments;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << '[' << Utf16ToUtf8(c.line) << ']'; }

class SplitCommandLineTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, SplitsIntoProgramAndArguments) {
  const SplitCase& c = GetParam();
  const SplitCommandLineResult result = SplitCommandLine(c.line);
  EXPECT_EQ(result.program, c.program);
  EXPECT_EQ(result.arguments, c.arguments);
}

using V = std::vector<std::u16string>;

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitCommandLineTest,
    testing::Values(
        SplitCase{u"", u"", V{}}, SplitCase{u"   \t ", u"", V{}}, SplitCase{u"warm", u"warm", V{}},
        SplitCase{u"warm /DB:x /USER:u", u"warm", V{u"/DB:x", u"/USER:u"}},
        // A quoted stretch inside a token keeps its blank; the quotes go.
        SplitCase{u"warm a\"b c\"d", u"warm", V{u"ab cd"}},
        SplitCase{u"warm \"a b\"", u"warm", V{u"a b"}},
        SplitCase{u"warm /TEMP:\"D:\\My Temp\"", u"warm", V{u"/TEMP:D:\\My Temp"}},
        SplitCase{u"\"C:\\Program Files\\Warm.exe\" /DB:a", u"C:\\Program Files\\Warm.exe",
                  V{u"/DB:a"}},
        // Two quotes standing alone give no argument; a lone quote at the end gives nothing.
        SplitCase{u"warm \"\" x", u"warm", V{u"x"}}, SplitCase{u"warm x \"", u"warm", V{u"x"}},
        SplitCase{u"warm \"\"  \"\"  ", u"warm", V{}},
        SplitCase{u"warm \"\"\"x\"", u"warm", V{u"x"}},
        SplitCase{u"warm a\"\"b", u"warm", V{u"ab"}},
        // No escape character: a backslash before a quote is ordinary.
        SplitCase{u"warm a\\\"b\" c", u"warm", V{u"a\\b", u"c"}},
        SplitCase{u"warm \"open to the end", u"warm", V{u"open to the end"}},
        SplitCase{u"warm \" x\"", u"warm", V{u" x"}},
        // Every unit up to U+0020 separates; U+00A0 does not.
        SplitCase{u"warm\ta\r\nb\x01"
                  u"c",
                  u"warm", V{u"a", u"b", u"c"}},
        SplitCase{u"warm a\u00a0b", u"warm", V{u"a\u00a0b"}},
        // A NUL ends the line.
        SplitCase{std::u16string(u"warm a\0b c", 10), u"warm", V{u"a"}}));

}  // namespace
