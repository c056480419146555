// The environment variables on both platforms; environment_<platform>_test.cpp adds what one
// platform alone has.
#include "platform/environment.h"

#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "tests/platform/environment_cases.h"
#include "tests/platform/environment_fixture.h"

namespace {

TEST_F(EnvironmentTest, ExpansionReplacesDefinedReferencesOnly) {
  std::vector<ExpansionCase> cases = {
      {u"%FBWARM_A%", u"a-value"},
      {u"x%FBWARM_A%y%FBWARM_A%", u"xa-valueya-value"},
      {u"%FBWARM_NOSUCH%/Tmp", u"%FBWARM_NOSUCH%/Tmp"},
      {u"100%", u"100%"},
      {u"%FBWARM_A", u"%FBWARM_A"},
      {u"no reference", u"no reference"},
      {u"", u""},
  };
  cases.insert(cases.end(), kPlatformExpansionCases.begin(), kPlatformExpansionCases.end());
  for (const auto& c : cases)
    EXPECT_EQ(ExpandEnvironmentReferences(c.text), c.expanded) << Utf16ToUtf8(c.text);
}

TEST_F(EnvironmentTest, LongValuesExpandWhole) {
  const std::u16string long_value(5000, u'v');
  SetEnvironmentValue(u"FBWARM_SET", long_value);
  EXPECT_EQ(ExpandEnvironmentReferences(u"<%FBWARM_SET%>"), u"<" + long_value + u">");
}

TEST_F(EnvironmentTest, SetAndGetRoundTrip) {
  EXPECT_EQ(GetEnvironmentValue(u"FBWARM_NOSUCH"), std::nullopt);
  EXPECT_EQ(GetEnvironmentValue(u"FBWARM_EMPTY"), u"");
  SetEnvironmentValue(u"FBWARM_SET", u"/tmp/d\u00e4 x/");
  EXPECT_EQ(GetEnvironmentValue(u"FBWARM_SET"), u"/tmp/d\u00e4 x/");
  EXPECT_EQ(ExpandEnvironmentReferences(u"%FBWARM_SET%run"), u"/tmp/d\u00e4 x/run");
  const std::u16string long_value(300, u'x');
  SetEnvironmentValue(u"FBWARM_SET", long_value);
  EXPECT_EQ(GetEnvironmentValue(u"FBWARM_SET"), long_value);
  SetEnvironmentValue(u"FBWARM_SET", u"");
  EXPECT_EQ(GetEnvironmentValue(u"FBWARM_SET"), u"");
  UnsetVariable(u"FBWARM_SET");
  EXPECT_EQ(GetEnvironmentValue(u"FBWARM_SET"), std::nullopt);
}

}  // namespace
