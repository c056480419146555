// A writer thread that cannot be started. Its own executable: the process's trace hook must
// not have started its writer before the test makes the start fail.
#include <gtest/gtest.h>

#include <system_error>

#include "ibclient/errors.h"
#include "ibclient/status_vector.h"
#include "ibclient/trace_hook.h"
#include "tests/ibclient/ibclient_test_support.h"

namespace {

std::thread RefuseToStart(std::function<void()>) {
  throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

class TraceStartFailure : public ::testing::Test {
 protected:
  void SetUp() override { SetTraceThreadStarter(RefuseToStart); }
  void TearDown() override { SetTraceThreadStarter({}); }
};

}  // namespace

TEST_F(TraceStartFailure, TheServersMessageIsReportedAndTheHookTurnsItselfOff) {
  auto library = Bind("full");
  library->CheckIBLoaded();
  FillStandinVector(335544472, -902, {"Your user name and password are not defined."});
  auto error = Raised<EIBInterBaseError>([&] { RaiseStatusVectorError(*library); });
  ASSERT_TRUE(error);
  EXPECT_EQ(Utf8(error->Message()), "Your user name and password are not defined");
  EXPECT_EQ(error->IBErrorCode(), 335544472);

  auto hook = TraceHook();
  ASSERT_TRUE(hook);
  EXPECT_FALSE(hook->Enabled());
  // Later errors are neither traced nor hindered.
  auto again =
      Raised<EIBClientError>([] { RaiseClientError(ClientErrorCode::ServiceNotAttached); });
  ASSERT_TRUE(again);
  EXPECT_EQ(Utf8(again->Message()), "Cannot perform operation -- service is not attached");
}

TEST_F(TraceStartFailure, AFreshHookDropsTextsInsteadOfRaising) {
  TIBSQLMonitorHook hook;
  EXPECT_NO_THROW(hook.SendError(u"first"));
  EXPECT_FALSE(hook.Enabled());
  EXPECT_NO_THROW(hook.ServiceAttach(u"svc", TTraceFlags::All()));
  EXPECT_NO_THROW(hook.WaitUntilWritten());
}
