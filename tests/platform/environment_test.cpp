#include "platform/environment.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "base/text.h"

namespace {

class EnvironmentTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("FBWARM_A", "a-value", 1);
    setenv("FBWARM_EMPTY", "", 1);
    unsetenv("FBWARM_NOSUCH");
  }
  void TearDown() override {
    for (const char* name : {"FBWARM_A", "FBWARM_EMPTY", "FBWARM_SET", "FBWARM_NOSUCH"})
      unsetenv(name);
  }
};

TEST_F(EnvironmentTest, ExpansionReplacesDefinedReferencesOnly) {
  const struct {
    std::u16string text;
    std::u16string expanded;
  } cases[] = {
      {u"%FBWARM_A%", u"a-value"},
      {u"x%FBWARM_A%y%FBWARM_A%", u"xa-valueya-value"},
      {u"%FBWARM_EMPTY%/Tmp", u"/Tmp"},
      {u"%FBWARM_NOSUCH%/Tmp", u"%FBWARM_NOSUCH%/Tmp"},
      // An undefined name gives up only its opening '%': the closing one may open the next.
      {u"%FBWARM_NOSUCH%FBWARM_A%", u"%FBWARM_NOSUCHa-value"},
      {u"%%FBWARM_A%", u"%a-value"},
      {u"%%", u"%%"},
      {u"100%", u"100%"},
      {u"%FBWARM_A", u"%FBWARM_A"},
      {u"%fbwarm_a%", u"%fbwarm_a%"},  // names are case-sensitive here
      {u"%FBWARM=A%", u"%FBWARM=A%"},
      {u"no reference", u"no reference"},
      {u"", u""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ExpandEnvironmentReferences(c.text), c.expanded) << Utf16ToUtf8(c.text);
}

TEST_F(EnvironmentTest, SetAndGetRoundTrip) {
  EXPECT_EQ(GetEnvironmentValue(u"FBWARM_NOSUCH"), std::nullopt);
  EXPECT_EQ(GetEnvironmentValue(u"FBWARM_EMPTY"), u"");
  SetEnvironmentValue(u"FBWARM_SET", u"/tmp/d\u00e4 x/");
  EXPECT_EQ(GetEnvironmentValue(u"FBWARM_SET"), u"/tmp/d\u00e4 x/");
  EXPECT_STREQ(getenv("FBWARM_SET"), "/tmp/d\xC3\xA4 x/");
  EXPECT_EQ(ExpandEnvironmentReferences(u"%FBWARM_SET%run"), u"/tmp/d\u00e4 x/run");
}

TEST_F(EnvironmentTest, NamesNoVariableCanCarryAreIgnored) {
  // setenv would fail on these, and getenv("A=B") could match the variable A with a value
  // beginning "B=".
  setenv("FBWARM_A", "B=c", 1);
  EXPECT_EQ(GetEnvironmentValue(u"FBWARM_A=B"), std::nullopt);
  EXPECT_EQ(GetEnvironmentValue(u""), std::nullopt);
  SetEnvironmentValue(u"FBWARM_SET=x", u"v");
  SetEnvironmentValue(u"", u"v");
  EXPECT_EQ(getenv("FBWARM_SET"), nullptr);
  SetEnvironmentValue(u"FBWARM_SET", std::u16string(u"cut\0off", 7));  // no value holds a NUL
  EXPECT_EQ(getenv("FBWARM_SET"), nullptr);
}

}  // namespace
