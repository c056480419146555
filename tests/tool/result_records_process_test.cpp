// fbwarm's result records as a program that runs it reads them (FBWARM_RESULT_FD), against the
// stand-in client library: what each kind of run writes, standard output unchanged by them,
// and a variable that cannot be used.
#include <gtest/gtest.h>

#include <regex>

#include "tests/support/temp_dir.h"
#include "tests/tool/fbwarm_process.h"

namespace {

struct RecordedRun {
  ProcessResult result;
  std::vector<std::string> records;
};

// Runs fbwarm with the stand-in answering by script; with records, descriptor 3 is a file
// and FBWARM_RESULT_FD names it.
RecordedRun RunRecorded(const std::vector<std::string>& args, const std::string& script,
                        bool records, const std::string& stdin_bytes = "") {
  ScopedTempDir dir;
  WriteFileBytes(dir / "script", script);
  ProcessOptions options;
  options.args = args;
  options.env["LD_LIBRARY_PATH"] = StandinDir();
  options.env["FBWARM_STANDIN_SCRIPT"] = dir / "script";
  options.stdin_bytes = stdin_bytes;
  options.shell_prefix = "exec 3>'" + dir / "records" + "';";
  if (records) options.env["FBWARM_RESULT_FD"] = "3";
  RecordedRun run{RunProcess(FbwarmBinary(), options), {}};
  run.records = SplitAt(ReadFileBytes(dir / "records"), "\n");
  return run;
}

// The milliseconds vary from run to run.
std::vector<std::string> Masked(std::vector<std::string> records) {
  for (std::string& r : records) {
    r = std::regex_replace(r, std::regex("^(result \\S+) \\d+ "), "$1 MS ");
    r = std::regex_replace(r, std::regex("^(read \\d+ \\d+) \\d+$"), "$1 MS");
  }
  return records;
}

const std::string kServerDown =
    "attach fail -902 335544721\n"
    "message Unable to complete network request to host \"127.0.0.1\".\n"
    "message Failed to establish a connection.\n";

}  // namespace

TEST(ResultRecords, EachKindOfRunEndsWithItsOutcomeAndTheErrorLinesAsPrinted) {
  ScopedTempDir files;
  const std::string db = files / "local.fdb";
  WriteFileBytes(db, std::string(5000, 'x'));
  const std::vector<std::string> good = {"/DB:" + db, "/USER:SYSDBA", "/PASSWORD:pw"};
  const std::vector<std::string> remote = {"/DB:/srv/db/none.fdb", "/USER:SYSDBA", "/PASSWORD:pw"};
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string script;
    std::vector<std::string> records;
  } cases[] = {
      {"finished",
       good,
       "line a\npause 2100\nline b\n",
       {"fbwarm-record 1", "read 5000 5000 MS", "server", "result finished MS 0"}},
      {"too fast",
       good,
       "line a\n",
       {"fbwarm-record 1", "read 5000 5000 MS", "server", "error FEHLER Fehler aufgetreten",
        "result too-fast MS 0"}},
      {"server not listening",
       remote,
       kServerDown,
       {"fbwarm-record 1", "server",
        "error FEHLER Unable to complete network request to host \"127.0.0.1\".",
        "error Failed to establish a connection", "result retry MS 335544721"}},
      {"server shut down during the report",
       remote,
       "line a\nquery fail -901 335544528\nmessage database shutdown\n",
       {"fbwarm-record 1", "server", "error FEHLER database shutdown",
        "result retry MS 335544528"}},
      {"wrong password",
       remote,
       "attach fail -902 335544472\nmessage Your user name and password are not defined.\n",
       {"fbwarm-record 1", "server", "error FEHLER Your user name and password are not defined",
        "result permanent MS 335544472"}},
      {"parameter missing",
       {"/DB:/srv/db/none.fdb"},
       "",
       {"fbwarm-record 1", "server", "error FEHLER Parameter USER fehler",
        "result permanent MS 0"}},
      {"parameter too long",
       {"/DB:/" + std::string(300, 'd')},
       "",
       {"fbwarm-record 1", "error FEHLER Parameter DB zu lang", "result permanent MS 0"}},
      {"help", {"?"}, "", {"fbwarm-record 1", "result help MS 0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const RecordedRun with = RunRecorded(c.args, c.script, true, "\n");
    const RecordedRun without = RunRecorded(c.args, c.script, false, "\n");
    EXPECT_EQ(Masked(with.records), c.records);
    EXPECT_TRUE(without.records.empty()) << "records written although the variable is unset";
    // Standard output and the exit status are the same with and without records.
    EXPECT_EQ(with.result.out, without.result.out);
    EXPECT_EQ(with.result.exit_code, 0) << with.result.err;
    EXPECT_EQ(without.result.exit_code, 0) << without.result.err;
    EXPECT_EQ(with.result.err.find("FBWARM_RESULT_FD"), std::string::npos) << with.result.err;
  }
}

TEST(ResultRecords, TheTooFastRecordCarriesTheTimeTheRuleMeasured) {
  const RecordedRun run = RunRecorded({"/DB:/srv/db/none.fdb", "/USER:SYSDBA", "/PASSWORD:pw"},
                                      "line a\npause 300\nline b\n", true);
  ASSERT_FALSE(run.records.empty());
  std::smatch m;
  ASSERT_TRUE(std::regex_match(run.records.back(), m, std::regex("result too-fast (\\d+) 0")))
      << run.records.back();
  // The pause alone takes 300 ms; the rule's limit is 2000.
  EXPECT_GE(std::stoul(m[1]), 300u);
  EXPECT_LT(std::stoul(m[1]), 2000u);
}

TEST(ResultRecords, AValueThatCannotBeUsedIsSaidOnStandardErrorAndChangesNothingElse) {
  // Another server, so that the missing path is no concern of this machine's.
  const std::vector<std::string> args = {"/DB:/srv/db/none.fdb", "/SERVER:dbhost", "/USER:SYSDBA",
                                         "/PASSWORD:pw"};
  const RecordedRun plain = RunRecorded(args, kServerDown, false);
  const struct {
    const char* value;
    const char* prefix;  // opens descriptors for the case
    const char* reason;
  } cases[] = {
      {"abc", "", "keine Deskriptornummer ab 3"},        {"", "", "keine Deskriptornummer ab 3"},
      {"1", "", "keine Deskriptornummer ab 3"},          {"2", "", "keine Deskriptornummer ab 3"},
      {"-3", "", "keine Deskriptornummer ab 3"},         {"9", "", "Bad file descriptor"},
      {"4", "exec 4</dev/null;", "Bad file descriptor"},  // open, but for reading only
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    ScopedTempDir dir;
    WriteFileBytes(dir / "script", kServerDown);
    ProcessOptions options;
    options.args = args;
    options.env["LD_LIBRARY_PATH"] = StandinDir();
    options.env["FBWARM_STANDIN_SCRIPT"] = dir / "script";
    options.env["FBWARM_RESULT_FD"] = c.value;
    options.shell_prefix = c.prefix;
    const ProcessResult r = RunProcess(FbwarmBinary(), options);
    EXPECT_EQ(r.out, plain.result.out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "fbwarm: WARNUNG: FBWARM_RESULT_FD=" + std::string(c.value) + ": " + c.reason +
                         "; der Ergebnisdatensatz fuer das aufrufende Programm fehlt oder ist "
                         "unvollstaendig.\n");
  }
}

TEST(ResultRecords, AReaderThatWentAwayCostsOnlyTheRecords) {
  // The pipe's reading end is closed before fbwarm writes: every write fails with EPIPE.
  ScopedTempDir dir;
  WriteFileBytes(dir / "script", kServerDown);
  ProcessOptions options;
  options.args = {"/DB:/srv/db/none.fdb", "/SERVER:dbhost", "/USER:SYSDBA", "/PASSWORD:pw"};
  options.env["LD_LIBRARY_PATH"] = StandinDir();
  options.env["FBWARM_STANDIN_SCRIPT"] = dir / "script";
  options.env["FBWARM_RESULT_FD"] = "3";
  options.shell_prefix = "mkfifo '" + dir / "fifo" + "'; (exec 4<'" + dir / "fifo" +
                         "') & exec 3>'" + dir / "fifo" + "'; wait;";
  const ProcessResult r = RunProcess(FbwarmBinary(), options);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(SplitCrLf(r.out).back(), "Failed to establish a connection");
  EXPECT_EQ(r.err,
            "fbwarm: WARNUNG: FBWARM_RESULT_FD=3: Broken pipe; der Ergebnisdatensatz fuer das "
            "aufrufende Programm fehlt oder ist unvollstaendig.\n");
}
