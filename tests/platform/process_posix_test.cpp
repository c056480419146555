// The POSIX process arguments: taken from main's argv.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/process.h"

namespace {

TEST(Process, ArgumentsSkipArgumentZeroAndEmptyOnes) {
  char program[] = "prog", empty[] = "", db[] = "/DB:/data/d\xC3\xA4.fdb", blank[] = " ";
  char* argv[] = {program, empty, db, empty, blank, nullptr};
  InitProcessArguments(5, argv);
  EXPECT_EQ(ProcessArguments(), (std::vector<std::u16string>{u"/DB:/data/d\u00e4.fdb", u" "}));
  InitProcessArguments(1, argv);
  EXPECT_EQ(ProcessArguments(), std::vector<std::u16string>{});
}

}  // namespace
