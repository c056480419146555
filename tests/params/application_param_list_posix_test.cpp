// The POSIX side of the start-parameter tests, and its own case: letters beyond ASCII compared
// by the C.UTF-8 locale.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <clocale>
#include <memory>
#include <string>
#include <vector>

#include "params/application_param_list.h"
#include "platform/text_encoding.h"
#include "tests/params/application_param_list_cases.h"

void UnsetVariable(const std::u16string& name) { unsetenv(ToNarrow(name).c_str()); }

std::string WhyADirectoryCannotBeLocked() {
  return geteuid() == 0 ? "root passes every permission check" : "";
}

namespace {

using V = std::vector<std::u16string>;

TEST(Registry, LettersBeyondAsciiAreComparedIgnoringCaseByTheLocale) {
  const std::string previous = setlocale(LC_ALL, nullptr);
  if (!setlocale(LC_ALL, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale on this host";
  auto list = std::make_unique<TApplicationParamList>(u"", V{}, u"");
  list->HasParam(u"\u00e4x");
  list->HasParam(u"\u00c4X");
  list->HasParam(u"b");
  const V registered = list->RequestedParams().Items();
  setlocale(LC_ALL, previous.c_str());
  // Upper-casing leaves U+00E4 alone; the registry still sees one name.
  EXPECT_EQ(registered, (V{u"B", u"TEMP", u"\u00e4X"}));
}

}  // namespace
