// Services over the in-process fake of the client library (tests/support): each test tells the
// fake how to answer, runs the session and reads back the service calls that reached it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ibclient/errors.h"
#include "services/statistical_service.h"
#include "tests/support/fake_client_library.h"
#include "tests/support/tool_output.h"

// One isc_service_* call as the fake recorded it: the entry point's name and its arguments.
struct ServiceCall : FakeCall {
  std::string Detail(const std::string& key) const;
};

class FakeClientTest : public ::testing::Test {
 protected:
  // The fake every session of the test binds.
  std::shared_ptr<FakeClientLibrary> Library() const { return fake_; }
  FakeClientLibrary& Fake() { return *fake_; }

  // Forgets what the fake was told and what reached it.
  void Reset() { fake_->Reset(); }

  // The isc_service_* calls since the last Reset(), in order.
  std::vector<ServiceCall> Calls() const;
  std::vector<ServiceCall> Calls(const std::string& name) const;

  // A session with a server name, user and password, no login prompt.
  std::unique_ptr<TIBStatisticalService> NewSession() const;
  // The same, attached, statistics started for C:\DB\A.GDB with data and index pages.
  std::unique_ptr<TIBStatisticalService> StartedSession() const;

 private:
  std::shared_ptr<FakeClientLibrary> fake_ = std::make_shared<FakeClientLibrary>();
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

// The bytes of lower-case or upper-case hex, blanks between them allowed.
std::string Unhex(const std::string& hex);
