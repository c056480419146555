#include "platform/command_line.h"

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

// Every unit of an argument is reported where it stands in the line, in order.
TEST_P(SplitCommandLineTest, ReportsWhereEachUnitOfAnArgumentStands) {
  const SplitCase& c = GetParam();
  const SplitCommandLineResult result = SplitCommandLine(c.line);
  ASSERT_EQ(result.positions.size(), result.arguments.size());
  for (size_t i = 0; i < result.arguments.size(); ++i) {
    const std::vector<size_t>& positions = result.positions[i];
    ASSERT_EQ(positions.size(), result.arguments[i].size()) << "argument " << i;
    for (size_t k = 0; k < positions.size(); ++k) {
      ASSERT_LT(positions[k], c.line.size());
      EXPECT_EQ(c.line[positions[k]], result.arguments[i][k]) << "argument " << i << " unit " << k;
      if (k > 0) {
        EXPECT_LT(positions[k - 1], positions[k]);
      }
    }
    if (i > 0) {
      EXPECT_LT(result.positions[i - 1].back(), positions.front());
    }
  }
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

// Where the units of quoted arguments stand: the quotes are skipped, the units between them kept.
TEST(SplitCommandLinePositions, QuotedUnitsKeepTheirPlaceInTheLine) {
  using P = std::vector<std::vector<size_t>>;
  EXPECT_EQ(SplitCommandLine(u"warm a\"b c\"d /X").positions, (P{{5, 7, 8, 9, 11}, {13, 14}}));
  EXPECT_EQ(SplitCommandLine(u"\"C:\\W\" \"\" \"p\"").positions, (P{{11}}));
  EXPECT_EQ(SplitCommandLine(u"warm \"open").positions, (P{{6, 7, 8, 9}}));
}

}  // namespace
