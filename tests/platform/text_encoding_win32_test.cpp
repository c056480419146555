// The Windows narrow encoding: the ANSI code page, here 1252, without best-fit mappings.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/text_encoding.h"
#include "tests/windows/win32_support.h"

namespace {

class AnsiCodePage1252 : public testing::Test {
 protected:
  void SetUp() override {
    if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page here is " << GetACP() << ", not 1252";
    InitTextEncoding();
  }
};

TEST_F(AnsiCodePage1252, LacksBecomeOneQuestionMarkPerCharacterAndNothingIsBestFitted) {
  EXPECT_EQ(NarrowEncodingName(), "CP1252");
  struct Case {
    std::u16string text;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {u"Gr\u00fc\u00dfe \u20ac",
       "Gr\xfc\xdf"
       "e \x80"},
      {u"", ""},
      {u"\u0100", "?"},               // best fit would give 'A'
      {u"a\u2215b\uff0fc", "a?b?c"},  // best fit would give '/' twice: another path
      {u"\u4e2d\u6587", "??"},
      {u"x\U0001F600y", "x?y"},  // one character, two code units, one '?'
      {std::u16string(u"a") + char16_t(0xD800) + u"b", "a?b"},
  };
  for (const Case& c : cases) EXPECT_EQ(ToNarrow(c.text), c.bytes) << Utf8(W(c.text));
}

TEST_F(AnsiCodePage1252, NarrowBytesDecodeToTheirCharacters) {
  EXPECT_EQ(FromNarrow("\x80\xe4\xdf"
                       "a"),
            u"\u20ac\u00e4\u00df"
            "a");
  EXPECT_EQ(FromNarrow(""), u"");
}

}  // namespace
