#include "platform/compare.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(CompareTextIgnoreCase, AsciiLettersIgnoreCaseAndOrderAlphabetically) {
  EXPECT_EQ(CompareTextIgnoreCase(u"db", u"DB"), 0);
  EXPECT_EQ(CompareTextIgnoreCase(u"", u""), 0);
  // Code-unit order would put 'B' before 'a'.
  EXPECT_LT(CompareTextIgnoreCase(u"a", u"B"), 0);
  EXPECT_GT(CompareTextIgnoreCase(u"B", u"a"), 0);
  EXPECT_LT(CompareTextIgnoreCase(u"DB", u"db2"), 0);
  EXPECT_LT(CompareTextIgnoreCase(u"", u"a"), 0);
}

TEST(CompareTextIgnoreCase, TextsBeyondANulStillCount) {
  const std::u16string a(u"x\0a", 3), b(u"x\0b", 3);
  EXPECT_LT(CompareTextIgnoreCase(a, b), 0);
  EXPECT_GT(CompareTextIgnoreCase(b, a), 0);
  EXPECT_NE(CompareTextIgnoreCase(u"x", a), 0);
}

TEST(CompareTextIgnoreCase, LocaleLowersLettersBeyondAscii) {
  const std::string previous = setlocale(LC_ALL, nullptr);
  if (!setlocale(LC_ALL, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale on this host";
  const int umlaut = CompareTextIgnoreCase(u"\u00e4X", u"\u00c4x");
  const int smiley = CompareTextIgnoreCase(u"\U0001F600", u"\U0001F601");
  const int antisymmetric =
      Sign(CompareTextIgnoreCase(u"\u00e4", u"b")) + Sign(CompareTextIgnoreCase(u"b", u"\u00e4"));
  setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(umlaut, 0);
  EXPECT_LT(smiley, 0);
  EXPECT_EQ(antisymmetric, 0);
}

}  // namespace
