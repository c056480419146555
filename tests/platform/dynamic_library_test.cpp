// Loading libraries and looking up names, alike on every platform: both report Windows' codes
// (126 for a missing library, 127 for a missing name) with the system's own text.
#include "platform/dynamic_library.h"

#include <gtest/gtest.h>

#include <memory>

#include "base/exceptions.h"
#include "tests/platform/platform_cases.h"

namespace {

TEST(DynamicLibrary, MissingLibraryAndMissingNameReportTheSystemsError) {
  EXPECT_EQ(DynamicLibrary::Load("fbwarm-no-such-library.dll"), nullptr);
  DisturbSystemError();  // a later call must not wipe out what the failed load said
  DynamicLibrary::Error error = DynamicLibrary::LastError();
  EXPECT_EQ(error.code, 126);
  EXPECT_FALSE(error.text.empty());

  const KnownLibrary known = SystemLibrary();
  // The object is the test's to free; the library itself stays loaded, as always.
  std::unique_ptr<DynamicLibrary> library(DynamicLibrary::Load(known.file_name));
  ASSERT_NE(library, nullptr) << known.file_name;
  ASSERT_NE(known.address, nullptr);
  EXPECT_EQ(library->Symbol(known.name), known.address);
  EXPECT_EQ(library->Symbol("isc_service_attach"), nullptr);
  DisturbSystemError();
  error = DynamicLibrary::LastError();
  EXPECT_EQ(error.code, 127);
  const std::u16string message = EOSError(error.code, error.text).Message();
  EXPECT_EQ(message.substr(0, 25), u"Systemfehler.  Code: 127.");
  EXPECT_GT(message.size(), 27u) << "the system's text follows the code";
  EXPECT_NE(message.back(), u'.');
  EXPECT_NE(message.back(), u'\n');
}

}  // namespace
