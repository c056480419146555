// Where state that outlives a run is kept: the directory systemd gives the unit, else the
// user's state directory by the XDG rules, else one made from the home directory.
#include <gtest/gtest.h>

#include "platform/environment.h"
#include "platform/state_directory.h"
#include "tests/platform/environment_cases.h"

namespace {

constexpr const char16_t* kNames[] = {u"STATE_DIRECTORY", u"XDG_STATE_HOME", u"HOME"};

class StateDirectoryTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char16_t* name : kNames) saved_.push_back(GetEnvironmentValue(name));
  }
  void TearDown() override {
    for (size_t i = 0; i < std::size(kNames); ++i) Set(kNames[i], saved_[i]);
  }
  static void Set(const char16_t* name, const std::optional<std::u16string>& value) {
    if (value)
      SetEnvironmentValue(name, *value);
    else
      UnsetVariable(name);
  }

 private:
  std::vector<std::optional<std::u16string>> saved_;
};

TEST_F(StateDirectoryTest, TheServiceManagersDirectoryComesFirstThenTheUsersOwn) {
  using V = std::optional<std::u16string>;
  struct Case {
    V state_directory, xdg_state_home, home;
    V expected;
  } cases[] = {
      {u"/var/lib/fbwarm-state", u"/x", u"/root", u"/var/lib/fbwarm-state"},
      // Several StateDirectory= entries: the first.
      {u"/var/lib/a:/var/lib/b", std::nullopt, std::nullopt, u"/var/lib/a"},
      {std::nullopt, u"/home/u/.state", u"/home/u", u"/home/u/.state/fbwarm"},
      {u"", u"", u"/home/u", u"/home/u/.local/state/fbwarm"},  // empty means not set
      {std::nullopt, std::nullopt, u"/home/u", u"/home/u/.local/state/fbwarm"},
      {std::nullopt, std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    Set(u"STATE_DIRECTORY", c.state_directory);
    Set(u"XDG_STATE_HOME", c.xdg_state_home);
    Set(u"HOME", c.home);
    EXPECT_EQ(StateDirectory(), c.expected)
        << (c.expected ? std::string(c.expected->begin(), c.expected->end()) : "none");
  }
}

}  // namespace
