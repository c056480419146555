#include "platform/tick_counter.h"

#include <gtest/gtest.h>

#include "tests/platform/platform_cases.h"

namespace {

TEST(TickCounter, CountsMilliseconds) {
  const uint32_t start = TickCount();
  SleepMilliseconds(200);
  const uint32_t elapsed = TickCount() - start;  // unsigned: right across a wrap too
  EXPECT_GE(elapsed, 150u);
  EXPECT_LT(elapsed, 5000u);
}

}  // namespace
