// The real Firebird client library for the tests that talk to the local server, and the
// fixture that skips them, with the reason, where there is no server or no library.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "ibclient/gds_library.h"
#include "tests/support/firebird.h"

// Bound by its absolute path so that the tests use it whatever LD_LIBRARY_PATH says; nullptr
// when configuring found none.
inline std::shared_ptr<IGDSLibrary> RealClientLibrary() {
  static const std::shared_ptr<IGDSLibrary> library =
      std::string(FBWARM_REAL_CLIENT_LIBRARY).empty()
          ? nullptr
          : std::make_shared<TDynamicLibrary>(FBWARM_REAL_CLIENT_LIBRARY, XmlLibraryName());
  return library;
}

class RealClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_REAL_SERVER();
    if (!RealClientLibrary()) {
      if (std::getenv("FBWARM_REQUIRE_SERVER")) FAIL() << "no libfbclient.so.2 found";
      GTEST_SKIP() << "the Firebird client library (libfbclient2) was not found at configure time";
    }
  }
};
