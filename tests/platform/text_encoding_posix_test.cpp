// The POSIX narrow encoding before a locale is chosen: UTF-8, lone surrogates as "?".
#include <gtest/gtest.h>

#include <string>

#include "platform/text_encoding.h"

TEST(ToNarrow, EveryLoneSurrogateBecomesOneQuestionMarkAndNothingAfterItIsLost) {
  const char16_t high = 0xD800, low = 0xDC00;
  const struct {
    const char* name;
    std::u16string text;
    std::string narrow;
  } cases[] = {
      {"lone high before a letter", {high, u'A'}, "?A"},
      {"lone low before a letter", {low, u'A'}, "?A"},
      {"high at the very end", {u'A', high}, "A?"},
      {"two lone highs", {high, high, u'B'}, "??B"},
      {"low before high", {low, high, u'C'}, "??C"},
      {"valid pair",
       {0xD83D, 0xDE00, u'D'},
       "\xf0\x9f\x98\x80"
       "D"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToNarrow(c.text), c.narrow);
  }
}
