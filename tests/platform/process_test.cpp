// The running process, alike on every platform.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "platform/files.h"
#include "tests/platform/platform_cases.h"

namespace {

TEST(Process, ExecutablePathIsTheFullPathOfThisTestProgram) {
  const std::u16string path = ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(IsFullPathOfThisTestProgram(path)) << Utf16ToUtf8(path);
  EXPECT_TRUE(IsLocalFile(path)) << Utf16ToUtf8(path);
}

}  // namespace
