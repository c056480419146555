// The decoders of the narrow encoding's fixed forms, alike on every platform.
#include "platform/text_encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(TextEncoding, StrictUtf8RefusesEveryMalformedForm) {
  std::u16string result = u"untouched";
  EXPECT_TRUE(DecodeUtf8("ok \xc3\xa4\xf0\x9f\x98\x80", result));
  EXPECT_EQ(result, u"ok \u00e4\U0001F600");
  EXPECT_TRUE(DecodeUtf8("", result));
  EXPECT_EQ(result, u"");
  const std::vector<std::string> malformed = {
      "\xc0\xaf",          // overlong '/'
      "\xed\xa0\x80",      // an encoded surrogate
      "a\xe2\x82",         // cut short
      "\x80",              // a lone continuation byte
      "\xf4\x90\x80\x80",  // beyond U+10FFFF
      "\xff",
  };
  for (const std::string& bytes : malformed) {
    result = u"untouched";
    EXPECT_FALSE(DecodeUtf8(bytes, result)) << testing::PrintToString(bytes);
    EXPECT_EQ(result, u"untouched");
  }
}

TEST(TextEncoding, Utf16InEitherByteOrderDropsAnOddLastByte) {
  EXPECT_EQ(DecodeUtf16(std::string("a\0\xe4\0z", 5), false), u"a\u00e4");
  EXPECT_EQ(DecodeUtf16(std::string("\0a\x20\xac", 4), true), u"a\u20ac");
}
