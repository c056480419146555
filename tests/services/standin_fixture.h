// Services over the stand-in client library (tests/standin): each test writes the stand-in's
// script, runs the session and reads back the service calls that reached the library.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ibclient/errors.h"
#include "ibclient/gds_library.h"
#include "services/statistical_service.h"
#include "tests/support/temp_dir.h"

// One isc_service_* call as the stand-in logged it: the entry point's name and its
// key=value details (byte arguments in lower-case hex).
struct ServiceCall {
  std::string name;
  std::string Detail(const std::string& key) const;
  std::string details;
};

class StandinTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The binding to the stand-in, shared by every test of the process.
  static std::shared_ptr<IGDSLibrary> Library();

  // Replaces the stand-in's script (see tests/standin/README.md), forgets its state and
  // starts a new call log.
  void Script(const std::string& text);

  // The isc_service_* calls since the last Script(), in order.
  std::vector<ServiceCall> Calls() const;
  std::vector<ServiceCall> Calls(const std::string& name) const;

  // A session with a server name, user and password, no login prompt.
  std::unique_ptr<TIBStatisticalService> NewSession() const;
  // The same, attached, statistics started for C:\DB\A.GDB with data and index pages.
  std::unique_ptr<TIBStatisticalService> StartedSession() const;

  ScopedTempDir dir_;
};

// Runs call, which must raise EIBClientError with the code's table text and SQLCode.
#define EXPECT_CLIENT_ERROR(call, code)                                       \
  do {                                                                        \
    try {                                                                     \
      call;                                                                   \
      ADD_FAILURE() << #call " did not raise";                                \
    } catch (const EIBClientError& e) {                                       \
      EXPECT_EQ(e.Message(), std::u16string(ClientErrorText(code))) << #call; \
      EXPECT_EQ(e.SQLCode(), static_cast<int32_t>(code)) << #call;            \
    }                                                                         \
  } while (0)

// Hex of bytes, lower case, as the stand-in logs them.
std::string Hex(const std::string& bytes);
