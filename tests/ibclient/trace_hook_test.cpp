// The trace hook: what reaches a registered monitor, in which category, and what is dropped.
#include "ibclient/trace_hook.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "ibclient/errors.h"
#include "ibclient/status_vector.h"
#include "tests/ibclient/ibclient_test_support.h"

namespace {

const std::u16string kPrefix = u"\r\n[Application: ]\r\n";

class RecordingMonitor : public ITraceMonitor {
 public:
  void TraceText(TTraceFlag category, const std::u16string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.emplace_back(category, text);
  }
  std::vector<std::pair<TTraceFlag, std::u16string>> Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<TTraceFlag, std::u16string>> texts_;
};

using Texts = std::vector<std::pair<TTraceFlag, std::u16string>>;

class TraceHookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hook_ = TraceHook();
    ASSERT_TRUE(hook_);
    hook_->WaitUntilWritten();
    RegisterTraceMonitor(&monitor_);
  }
  void TearDown() override {
    UnregisterTraceMonitor(&monitor_);
    hook_->SetEnabled(true);
  }
  // Everything written so far, once the writer has handled it.
  Texts Written() {
    hook_->WaitUntilWritten();
    return monitor_.Texts();
  }

  std::shared_ptr<TIBSQLMonitorHook> hook_;
  RecordingMonitor monitor_;
};

}  // namespace

TEST_F(TraceHookTest, ClientErrorIsTracedAsErrorWithBothPrefixes) {
  EXPECT_THROW(RaiseClientError(ClientErrorCode::ServiceNotAttached), EIBClientError);
  EXPECT_EQ(
      Written(),
      (Texts{{tfError, kPrefix + u"[Error] Cannot perform operation -- service is not attached"}}));
}

TEST_F(TraceHookTest, SharedResourceFailureIsNotTraced) {
  EXPECT_THROW(RaiseClientError(ClientErrorCode::SharedResourceFailure, 5), EIBClientError);
  EXPECT_TRUE(Written().empty());
}

TEST_F(TraceHookTest, StatusVectorErrorIsTracedWithItsCodes) {
  auto library = Bind("full");
  library->CheckIBLoaded();
  const char* lines[] = {"A", "B."};
  ISC_STATUS* vector = ThreadStatusVector();
  const ISC_STATUS values[] = {isc_arg_gds,         335544721,
                               isc_arg_number,      -902,
                               isc_arg_interpreted, reinterpret_cast<ISC_STATUS>(lines[0]),
                               isc_arg_interpreted, reinterpret_cast<ISC_STATUS>(lines[1]),
                               isc_arg_end};
  std::copy(std::begin(values), std::end(values), vector);
  EXPECT_THROW(RaiseStatusVectorError(*library), EIBInterBaseError);
  EXPECT_EQ(Written(), (Texts{{tfError, kPrefix + u"[Error] -902 335544721 A\r\nB"}}));
}

TEST_F(TraceHookTest, OnlyTheInterBase6StubIsTraced) {
  auto old = Bind("no-rollback-retaining");
  old->CheckIBLoaded();
  isc_svc_handle handle = 0;
  isc_tr_handle transaction = 0;
  EXPECT_THROW(old->isc_service_detach(ThreadStatusVector(), &handle), EIBClientError);
  EXPECT_THROW(old->isc_start_savepoint(ThreadStatusVector(), &transaction, "s"), EIBClientError);
  EXPECT_THROW(old->isc_get_client_version(nullptr), EIBClientError);
  EXPECT_EQ(Written(), (Texts{{tfError, kPrefix + u"[Error] isc_service_detach is an InterBase 6 "
                                                  u"function. Please upgrade to InterBase 6 to "
                                                  u"use this functonality"}}));
}

TEST_F(TraceHookTest, DisabledHookWritesNothing) {
  hook_->SetEnabled(false);
  EXPECT_FALSE(hook_->Enabled());
  EXPECT_THROW(RaiseClientError(ClientErrorCode::ServerNameMissing), EIBClientError);
  hook_->SendError(u"x");
  hook_->ServiceAttach(u"svc", {tfService});
  EXPECT_TRUE(Written().empty());
}

TEST_F(TraceHookTest, ServiceNoticesNeedTfServiceInTheSessionFlags) {
  const TTraceFlags service{tfService};
  hook_->ServiceAttach(u"Stats", service);
  hook_->ServiceStart(u"Stats", {tfService, tfError});
  hook_->ServiceQuery(u"Stats", service);
  hook_->ServiceDetach(u"Stats", service);
  hook_->ServiceAttach(u"Quiet", {});
  hook_->ServiceAttach(u"Quiet", {tfError, tfMisc, tfConnect});
  EXPECT_EQ(Written(), (Texts{{tfService, kPrefix + u"Stats: [Attach]"},
                              {tfService, kPrefix + u"Stats: [Start]"},
                              {tfService, kPrefix + u"Stats: [Query]"},
                              {tfService, kPrefix + u"Stats: [Detach]"}}));
}

TEST_F(TraceHookTest, TextsWrittenWithoutAMonitorAreDropped) {
  UnregisterTraceMonitor(&monitor_);
  hook_->SendError(u"unseen");
  hook_->WaitUntilWritten();
  RegisterTraceMonitor(&monitor_);
  hook_->SendError(u"seen");
  EXPECT_EQ(Written(), (Texts{{tfError, kPrefix + u"[Error] seen"}}));
}

TEST(TraceFlags, OrdinalsAreBits) {
  EXPECT_EQ(TTraceFlags({tfService}).Bits(), 0x100);
  EXPECT_EQ(TTraceFlags({tfQPrepare, tfMisc}).Bits(), 0x201);
  EXPECT_EQ(TTraceFlags::All().Bits(), 0x3FF);
  TTraceFlags flags;
  flags.Include(tfError);
  EXPECT_TRUE(flags.Contains(tfError));
  flags.Exclude(tfError);
  EXPECT_EQ(flags, TTraceFlags());
}

// Shutting down is final for the process, so it runs in a child.
TEST(TraceHookShutdown, DrainsTheQueueThenTracesNoMore) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        RecordingMonitor monitor;
        RegisterTraceMonitor(&monitor);
        const auto hook = TraceHook();
        for (int i = 0; i < 500; ++i) hook->SendError(u"text");
        ShutdownTraceHook();
        // Every queued text was handled before the writer stopped.
        const bool drained = monitor.Texts().size() == 500;
        const bool gone = TraceHook() == nullptr;
        bool still_raises = false;
        try {
          RaiseClientError(ClientErrorCode::ServiceAttached);
        } catch (const EIBClientError&) {
          still_raises = true;
        }
        hook->SendError(u"after");  // the stopped writer drops it
        const bool nothing_after = monitor.Texts().size() == 500;
        UnregisterTraceMonitor(&monitor);
        std::exit(drained && gone && still_raises && nothing_after ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
