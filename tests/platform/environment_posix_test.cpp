// The POSIX side of the environment tests: names are case-sensitive, a '%' that opens no
// reference gives up only itself, and values are the narrow encoding's bytes.
#include <stdlib.h>

#include "platform/text_encoding.h"
#include "tests/platform/environment_fixture.h"

void UnsetVariable(const std::u16string& name) { unsetenv(ToNarrow(name).c_str()); }

const std::vector<ExpansionCase> kPlatformExpansionCases = {
    {u"%FBWARM_EMPTY%/Tmp", u"/Tmp"},
    // An undefined name gives up only its opening '%': the closing one may open the next.
    {u"%FBWARM_NOSUCH%FBWARM_A%", u"%FBWARM_NOSUCHa-value"},
    {u"%%FBWARM_A%", u"%a-value"},
    {u"%%", u"%%"},
    {u"%fbwarm_a%", u"%fbwarm_a%"},  // names are case-sensitive here
    {u"%FBWARM=A%", u"%FBWARM=A%"},
};

namespace {

TEST_F(EnvironmentTest, ValuesAreTheNarrowEncodingsBytes) {
  SetEnvironmentValue(u"FBWARM_SET", u"/tmp/d\u00e4 x/");
  EXPECT_STREQ(getenv("FBWARM_SET"), "/tmp/d\xC3\xA4 x/");
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
