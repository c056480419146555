#include "platform/process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"

namespace {

TEST(Process, ArgumentsSkipArgumentZeroAndEmptyOnes) {
  char program[] = "prog", empty[] = "", db[] = "/DB:/data/d\xC3\xA4.fdb", blank[] = " ";
  char* argv[] = {program, empty, db, empty, blank, nullptr};
  InitProcessArguments(5, argv);
  EXPECT_EQ(ProcessArguments(), (std::vector<std::u16string>{u"/DB:/data/d\u00e4.fdb", u" "}));
  InitProcessArguments(1, argv);
  EXPECT_EQ(ProcessArguments(), std::vector<std::u16string>{});
}

TEST(Process, ExecutablePathIsTheAbsolutePathOfThisTestProgram) {
  const std::u16string path = ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), u'/');
  EXPECT_TRUE(path.ends_with(u"/platform_tests"));
  EXPECT_TRUE(IsLocalFile(path));
}

}  // namespace
