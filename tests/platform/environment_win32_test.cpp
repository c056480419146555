// The Windows side of the environment tests: names ignore letter case, and paths have
// backslashes.
#include <windows.h>

#include "tests/platform/environment_fixture.h"

void UnsetVariable(const std::u16string& name) {
  SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(name.c_str()), nullptr);
}

const std::vector<ExpansionCase> kPlatformExpansionCases = {
    {u"%FBWARM_A%\\Tmp", u"a-value\\Tmp"},
    {u"%fbwarm_a%", u"a-value"},  // names ignore case
    {u"%FBWARM_NOSUCH%\\Tmp", u"%FBWARM_NOSUCH%\\Tmp"},
};

namespace {

TEST_F(EnvironmentTest, NamesIgnoreCase) {
  SetEnvironmentValue(u"FBWARM_SET", u"C:\\T\\");
  EXPECT_EQ(GetEnvironmentValue(u"fbwarm_set"), u"C:\\T\\");
}

}  // namespace
