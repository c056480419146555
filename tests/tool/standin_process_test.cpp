// The whole tool against the stand-in client library: exact output bytes and the calls that
// reach the client library, without a server.
#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/support/tool_cases.h"
#include "tests/tool/fbwarm_process.h"

namespace {

struct StandinRun {
  ProcessResult result;
  std::vector<std::string> calls;  // the service calls from the stand-in's log
};

StandinRun RunFbwarm(const std::vector<std::string>& args, const std::string& script,
                     const std::string& variant = "full") {
  ScopedTempDir dir;
  WriteFileBytes(dir / "script", script);
  ProcessOptions options;
  options.args = args;
  options.env["LD_LIBRARY_PATH"] = StandinDir(variant);
  options.env["FBWARM_STANDIN_SCRIPT"] = dir / "script";
  options.env["FBWARM_STANDIN_LOG"] = dir / "log";
  StandinRun run{RunProcess(FbwarmBinary(), options), {}};
  run.calls = ServiceCalls(SplitAt(ReadFileBytes(dir / "log"), "\n"));
  return run;
}

const std::string kDatabase = "/srv/db/main.fdb";
const std::vector<std::string> kArgs = {"/DB:" + kDatabase, "/USER:SYSDBA", "/PASSWORD:secret"};

class ReportRun : public testing::TestWithParam<ReportCase> {};

// The shared report table (tests/support/tool_cases.h), also run by the Windows build.
TEST_P(ReportRun, PrintsTheReportAndItsClosingEmptyLineWithOneQueryPerLine) {
  const ReportCase& c = GetParam();
  StandinRun run = RunFbwarm(kArgs, c.script);
  // A run without a server is far below 2000 ms.
  std::vector<std::string> lines = {kNotLocal};
  lines.insert(lines.end(), c.lines.begin(), c.lines.end());
  lines.insert(lines.end(), {"", kTooFast});
  EXPECT_EQ(run.result.out, CrLfLines(lines));
  EXPECT_EQ(run.result.err, "");
  EXPECT_EQ(run.result.exit_code, 0);
  std::vector<std::string> calls = {AttachCall("127.0.0.1", AttachSpb("SYSDBA", "secret")),
                                    StartCall(kDatabase)};
  calls.insert(calls.end(), c.lines.size() + 1, kQueryCall);
  calls.push_back(kDetachCall);
  EXPECT_EQ(run.calls, calls);
}

INSTANTIATE_TEST_SUITE_P(Shared, ReportRun, testing::ValuesIn(kReportCases),
                         [](const testing::TestParamInfo<ReportCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace

TEST(StandinRun, ServerParameterNamesTheServerInTheConnectString) {
  std::vector<std::string> args = kArgs;
  args.push_back("/SERVER:dbhost/3051");
  StandinRun run = RunFbwarm(args, "");
  ASSERT_FALSE(run.calls.empty());
  EXPECT_EQ(run.calls[0].substr(0, run.calls[0].find(" spb=")),
            "isc_service_attach service=" + Hex("dbhost/3051:service_mgr"));
}

TEST(StandinRun, MissingParametersAreReportedInTheirOrderBeforeAnyServerContact) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{}, "Parameter USER fehler"},
      {{"/DB:/x.fdb"}, "Parameter USER fehler"},
      {{"/USER:SYSDBA", "/DB:/x.fdb"}, "Parameter PASSWORD fehler"},
      {{"/USER:SYSDBA", "/PASSWORD:"}, "Parameter PASSWORD fehler"},
      {{"/USER:SYSDBA", "/PASSWORD:x"}, "Parameter DB fehler"},
      {{"/USER:SYSDBA", "/PASSWORD:x", "/DB:"}, "Parameter DB fehler"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    StandinRun run = RunFbwarm(c.args, "");
    EXPECT_EQ(run.result.out, CrLfLines({kNotLocal, "FEHLER " + c.error}));
    EXPECT_TRUE(run.calls.empty());
    EXPECT_EQ(run.result.exit_code, 0);
  }
}

TEST(StandinRun, AFailedCallEndsTheRunWithTheClientLibrarysMessageAndNoFurtherCall) {
  const std::string failure =
      " -902 335544721\nmessage Unable to complete network request to host \"db\".\n"
      "message Failed to establish a connection.\n";
  const std::string error =
      "FEHLER Unable to complete network request to host \"db\".\r\n"
      "Failed to establish a connection";
  struct Case {
    std::string script;
    std::vector<std::string> lines;
    size_t calls;
  } cases[] = {
      {"attach fail" + failure, {kNotLocal, error}, 1},
      {"start fail" + failure, {kNotLocal, error}, 2},
      {"line first\nquery fail" + failure, {kNotLocal, "first", error}, 4},
      {"line only\nline\ndetach fail" + failure,
       {kNotLocal, "only", "", "FEHLER Fehler aufgetreten"},
       5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    StandinRun run = RunFbwarm(kArgs, c.script);
    EXPECT_EQ(run.result.out, CrLfLines(c.lines));
    EXPECT_EQ(run.calls.size(), c.calls);
    EXPECT_EQ(run.result.exit_code, 0);
  }
}

TEST(StandinRun, AnAnswerTheToolCannotReadIsAnErrorLine) {
  for (const char* response : {"3e 03 00 61 62 63 02", "3f 00 00 01", "3e 05 00 61 01"}) {
    SCOPED_TRACE(response);
    StandinRun run = RunFbwarm(kArgs, std::string("response ") + response + "\n");
    EXPECT_EQ(run.result.out, CrLfLines({kNotLocal, "FEHLER Unexpected Output buffer value"}));
    EXPECT_EQ(run.calls.back(), "isc_service_detach handle=1");
  }
}

TEST(StandinRun, AnOldClientLibraryFailsAtTheAttachWithItsVersionMessage) {
  StandinRun run = RunFbwarm(kArgs, "", "no-rollback-retaining");
  EXPECT_EQ(run.result.out,
            CrLfLines({kNotLocal,
                       "FEHLER isc_service_attach is an InterBase 6 function. Please upgrade to "
                       "InterBase 6 to use this functonality"}));
  EXPECT_TRUE(run.calls.empty());
}

TEST(StandinRun, AClientLibraryLackingARequiredNameIsAnOperatingSystemError) {
  StandinRun run = RunFbwarm({}, "", "no-transaction-info");
  ASSERT_EQ(SplitCrLf(run.result.out).size(), 3u) << run.result.out;
  EXPECT_EQ(SplitCrLf(run.result.out)[1], "FEHLER Systemfehler.  Code: 127.");
  EXPECT_NE(SplitCrLf(run.result.out)[2].find("isc_transaction_info"), std::string::npos);
}
