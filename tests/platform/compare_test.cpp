// The comparison that ignores letter case, on both platforms. Letters beyond ASCII follow the
// locale: each platform's file (compare_locale_posix.cpp, compare_locale_win32.cpp) chooses one
// that has them.
#include "platform/compare.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/platform/compare_cases.h"

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(CompareTextIgnoreCase, AsciiLettersIgnoreCaseAndOrderAlphabetically) {
  EXPECT_EQ(CompareTextIgnoreCase(u"db", u"DB"), 0);
  EXPECT_EQ(CompareTextIgnoreCase(u"temp", u"TEMP"), 0);
  EXPECT_EQ(CompareTextIgnoreCase(u"", u""), 0);
  // Code-unit order would put 'B' before 'a'.
  EXPECT_LT(CompareTextIgnoreCase(u"a", u"B"), 0);
  EXPECT_GT(CompareTextIgnoreCase(u"B", u"a"), 0);
  EXPECT_GT(CompareTextIgnoreCase(u"b", u"A"), 0);
  EXPECT_LT(CompareTextIgnoreCase(u"DB", u"db2"), 0);
  EXPECT_LT(CompareTextIgnoreCase(u"DB", u"PASSWORD"), 0);
  EXPECT_LT(CompareTextIgnoreCase(u"", u"a"), 0);
  EXPECT_LT(CompareTextIgnoreCase(u"", u"?"), 0);
}

TEST(CompareTextIgnoreCase, TextsBeyondANulStillCount) {
  const std::u16string a(u"x\0a", 3), b(u"x\0b", 3);
  EXPECT_LT(CompareTextIgnoreCase(a, b), 0);
  EXPECT_GT(CompareTextIgnoreCase(b, a), 0);
  EXPECT_NE(CompareTextIgnoreCase(u"x", a), 0);
}

TEST(CompareTextIgnoreCase, LocaleLowersLettersBeyondAscii) {
  const LetterLocale locale;
  if (!locale.why_not.empty()) GTEST_SKIP() << locale.why_not;
  EXPECT_EQ(CompareTextIgnoreCase(u"\u00e4X", u"\u00c4x"), 0);
  EXPECT_LT(CompareTextIgnoreCase(u"\U0001F600", u"\U0001F601"), 0);
  EXPECT_EQ(
      Sign(CompareTextIgnoreCase(u"\u00e4", u"b")) + Sign(CompareTextIgnoreCase(u"b", u"\u00e4")),
      0);
}

}  // namespace
