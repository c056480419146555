// The Windows process arguments: read from the command line, which others can see.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/process.h"
#include "tests/windows/win32_support.h"

namespace {

TEST(Process, ConcealedArgumentsLeaveTheCommandLineButNotWhatTheProgramRead) {
  const std::vector<std::u16string> before = ProcessArguments();
  const std::u16string key = u"--gtest_filter=";
  bool found = false;
  for (const std::u16string& argument : before) found |= argument.rfind(key, 0) == 0;
  if (!found) GTEST_SKIP() << "run without --gtest_filter: no argument to conceal";
  ConcealArguments([&](const std::u16string& argument) {
    return argument.rfind(key, 0) == 0 ? key.size() : std::u16string::npos;
  });
  const std::wstring line = GetCommandLineW();
  EXPECT_NE(line.find(L"--gtest_filter=XXXX"), std::wstring::npos) << Utf8(line);
  EXPECT_EQ(line.find(L"Concealed"), std::wstring::npos) << Utf8(line);
  EXPECT_EQ(ProcessArguments(), before);
}

}  // namespace
