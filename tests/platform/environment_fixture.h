// The variables the environment tests of both platforms start from, removed again afterwards.
#pragma once

#include <gtest/gtest.h>

#include "platform/environment.h"
#include "tests/platform/environment_cases.h"

class EnvironmentTest : public testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentValue(u"FBWARM_A", u"a-value");
    SetEnvironmentValue(u"FBWARM_EMPTY", u"");
    UnsetVariable(u"FBWARM_NOSUCH");
  }
  void TearDown() override {
    for (const char16_t* name : {u"FBWARM_A", u"FBWARM_EMPTY", u"FBWARM_SET", u"FBWARM_NOSUCH"})
      UnsetVariable(name);
  }
};
