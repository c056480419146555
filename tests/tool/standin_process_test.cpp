// The whole tool against the stand-in client library: exact output bytes and the calls that
// reach the client library, without a server.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "tests/support/temp_dir.h"
#include "tests/support/tool_cases.h"
#include "tests/tool/fbwarm_process.h"

namespace {

struct StandinRun {
  ProcessResult result;
  std::vector<std::string> log;    // every line of the stand-in's log
  std::vector<std::string> calls;  // the service calls from it
};

StandinRun RunFbwarm(const std::vector<std::string>& args, const std::string& script,
                     const std::string& variant = "full", ProcessOptions options = {},
                     const std::string& binary = FbwarmBinary()) {
  ScopedTempDir dir;
  WriteFileBytes(dir / "script", script);
  options.args = args;
  options.env["LD_LIBRARY_PATH"] = StandinDir(variant);
  options.env["FBWARM_STANDIN_SCRIPT"] = dir / "script";
  options.env["FBWARM_STANDIN_LOG"] = dir / "log";
  StandinRun run{RunProcess(binary, options), {}, {}};
  run.log = SplitAt(ReadFileBytes(dir / "log"), "\n");
  run.calls = ServiceCalls(run.log);
  return run;
}

const std::string kDatabase = "/srv/db/main.fdb";
const std::vector<std::string> kArgs = {"/DB:" + kDatabase, "/USER:SYSDBA", "/PASSWORD:secret"};

class ReportRun : public testing::TestWithParam<ReportCase> {};

// The shared report table (tests/support/tool_cases.h), also run by the Windows build.
TEST_P(ReportRun, PrintsTheReportAndItsClosingEmptyLineWithOneQueryPerLine) {
  const ReportCase& c = GetParam();
  StandinRun run = RunFbwarm(kArgs, c.script);
  // A run without a server is far below 2000 ms, and standard error says that this alone made
  // it fail.
  EXPECT_EQ(run.result.out, ReportOutput(c));
  const std::string missing = MissingHereLine(kDatabase);
  ASSERT_EQ(run.result.err.substr(0, missing.size()), missing);
  EXPECT_TRUE(
      std::regex_match(run.result.err.substr(missing.size()), std::regex(kTooShortLine + "\n")))
      << run.result.err;
  EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  EXPECT_EQ(run.calls, ReportCalls(c, kDatabase));
}

INSTANTIATE_TEST_SUITE_P(Shared, ReportRun, testing::ValuesIn(kReportCases), ReportCaseName);

class ServerCacheRun : public testing::TestWithParam<ServerCacheCase> {};

// The shared /SERVERCACHE table (tests/support/tool_cases.h), also run by the Windows build.
TEST_P(ServerCacheRun, SaysWhatTheStepDidOnStandardErrorAndLeavesStandardOutputAlone) {
  const ServerCacheCase& c = GetParam();
  std::vector<std::string> args = kArgs;
  args.push_back("/SERVERCACHE");
  StandinRun run = RunFbwarm(args, c.script);
  ExpectServerCacheLines(c, run.result.out, run.result.err, MissingHereLine(kDatabase));
  EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  if (c.same_as_without) {
    EXPECT_EQ(RunFbwarm(kArgs, c.script).result.out, run.result.out);
  }
  // Every case attaches to the database; where the step goes on, it asks for the first seven
  // pages in one request (fb_info_page_contents, 4-byte page numbers 0 to 6).
  const bool read = std::any_of(run.log.begin(), run.log.end(), [](const std::string& line) {
    return line.rfind("isc_database_info ", 0) == 0 &&
           line.find(" items=710400000000007104000100000071040002000000") != std::string::npos;
  });
  EXPECT_EQ(read, std::string(c.name) == "Warmed" || std::string(c.name) == "ServerGone");
}

INSTANTIATE_TEST_SUITE_P(Shared, ServerCacheRun, testing::ValuesIn(kServerCacheCases),
                         ServerCacheCaseName);

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
    EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  }
}

TEST(StandinRun, AValueTooLongToBeTakenWholeIsRefusedWhereItIsFirstTaken) {
  const std::string long_text(256, 'x');
  const std::string db = "/DB:/srv/" + std::string(251, 'd');  // 256 characters after "/DB:"
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> lines;
  } cases[] = {
      // DB is taken before the local file test: nothing is said about the file cache.
      {{db, "/USER:SYSDBA", "/PASSWORD:x"}, {"FEHLER Parameter DB zu lang"}},
      {{db}, {"FEHLER Parameter DB zu lang"}},
      // The others where their values are taken, in the order of the missing-value checks.
      {{"/DB:/x.fdb", "/USER:" + long_text, "/PASSWORD:x"},
       {kNotLocal, "FEHLER Parameter USER zu lang"}},
      {{"/DB:/x.fdb", "/USER:" + long_text}, {kNotLocal, "FEHLER Parameter USER zu lang"}},
      {{"/DB:/x.fdb", "/USER:SYSDBA", "/PASSWORD:" + long_text},
       {kNotLocal, "FEHLER Parameter PASSWORD zu lang"}},
      {{"/USER:SYSDBA", "/PASSWORD:" + long_text},
       {kNotLocal, "FEHLER Parameter PASSWORD zu lang"}},
      {{"/DB:/x.fdb", "/USER:SYSDBA", "/PASSWORD:x", "/SERVER:" + long_text},
       {kNotLocal, "FEHLER Parameter SERVER zu lang"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines.back());
    StandinRun run = RunFbwarm(c.args, "");
    EXPECT_EQ(run.result.out, CrLfLines(c.lines));
    EXPECT_TRUE(run.calls.empty());
    EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  }
  // 255 characters fit and are used as they are.
  StandinRun fits = RunFbwarm({"/DB:/x.fdb", "/USER:" + std::string(255, 'u'), "/PASSWORD:x"}, "");
  EXPECT_EQ(fits.result.out, CrLfLines({kNotLocal, "", "FEHLER Fehler aufgetreten"}));
  ASSERT_FALSE(fits.calls.empty());
  EXPECT_NE(fits.calls[0].find(Hex(std::string(255, 'u'))), std::string::npos);
}

TEST(StandinRun, ALongUserOrPasswordStillComesAfterTheMissingLibrary) {
  ProcessOptions options;
  options.args = {"/DB:/x.fdb", "/USER:" + std::string(300, 'u'),
                  "/PASSWORD:" + std::string(300, 'p')};
  options.env["LD_LIBRARY_PATH"] = BrokenClientDir();
  EXPECT_EQ(RunProcess(FbwarmBinary(), options).out, CrLfLines({kNotLocal, kLibraryMissing}));
}

// A report that takes longer than the 2000 ms minimum: the stand-in waits before its first line.
TEST(StandinRun, ASuccessfulRunEndsWithTheResultLineAndThenDetaches) {
  const std::string slow_report = "pause 2100\nline Analyzing database pages ...\n";
  struct Case {
    std::vector<std::string> extra_args;
    std::string result;
  } cases[] = {
      {{}, "Fertig! (DB=127.0.0.1:/srv/db/main.fdb)"},
      {{"/SERVER:dbhost/3051"}, "Fertig! (DB=dbhost/3051:/srv/db/main.fdb)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    std::vector<std::string> args = kArgs;
    args.insert(args.end(), c.extra_args.begin(), c.extra_args.end());
    StandinRun run = RunFbwarm(args, slow_report);
    EXPECT_EQ(run.result.out, CrLfLines({kNotLocal, "Analyzing database pages ...", "", c.result}));
    ASSERT_FALSE(run.calls.empty());
    EXPECT_EQ(run.calls.back(), "isc_service_detach handle=1");
    EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  }
}

TEST(StandinRun, ADetachThatFailsAfterTheResultLineIsItsOwnErrorLine) {
  StandinRun run = RunFbwarm(kArgs,
                             "pause 2100\nline a\ndetach fail -902 335544721\n"
                             "message Connection lost to the server.\n");
  EXPECT_EQ(run.result.out,
            CrLfLines({kNotLocal, "a", "", "Fertig! (DB=127.0.0.1:/srv/db/main.fdb)",
                       "FEHLER Connection lost to the server"}));
  EXPECT_EQ(run.calls.back(), "isc_service_detach handle=1");
  EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
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
    EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  }
}

// After the report and before the result line, the tool asks the local server about its cache
// through a database attachment of its own, while the service session is still open; the
// stand-in answers that attachment from its script as it answers the service calls.
TEST(StandinRun, TheCacheQuestionComesBetweenTheReportAndTheResultAndGetsTheScriptsAnswer) {
  ScopedTempDir dir;
  const std::string db = dir / "db.fdb";
  WriteFileBytes(db, std::string(100000, 'd'));
  StandinRun run = RunFbwarm({"/DB:" + db, "/USER:SYSDBA", "/PASSWORD:secret"},
                             "pause 2100\nline a\nattach-database fail -902 335544472\n"
                             "message Your user name and password are not defined.\n");
  EXPECT_EQ(run.result.out, CrLfLines({"Natives FileCache Start...", "Natives FileCache Fertig.",
                                       "a", "", "Fertig! (DB=127.0.0.1:" + db + ")"}));
  const std::vector<std::string> err = SplitAt(run.result.err, "\n");
  ASSERT_EQ(err.size(), 2u) << run.result.err;
  EXPECT_EQ(err[0].rfind("fbwarm: Dateicache: ", 0), 0u) << err[0];
  EXPECT_EQ(err[1],
            "fbwarm: Ob der Server fuer diese Datenbank den Dateicache umgeht, war nicht "
            "festzustellen, die Abfrage beim Server misslang: Your user name and password are not "
            "defined");
  // The attachment names the database on the local server, as whom the run attaches.
  const auto attach = std::find_if(run.log.begin(), run.log.end(), [](const std::string& line) {
    return line.rfind("isc_attach_database ", 0) == 0;
  });
  ASSERT_NE(attach, run.log.end());
  EXPECT_EQ(*attach, "isc_attach_database name=" + Hex("127.0.0.1:" + db) +
                         " dpb=" + DatabaseDpb("SYSDBA", "secret") + " handle=0");
  // After the last query of the report, before the service session ends.
  const auto query = std::find(run.log.rbegin(), run.log.rend(), kQueryCall);
  const auto detach = std::find(run.log.begin(), run.log.end(), kDetachCall);
  ASSERT_NE(query, run.log.rend());
  ASSERT_NE(detach, run.log.end());
  EXPECT_LT(query.base() - run.log.begin(), attach - run.log.begin());
  EXPECT_LT(attach, detach);
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

namespace {

// A locale with the ISO-8859-1 encoding, compiled into dir (found through LOCPATH, so the
// system's locales stay as they are); empty when this host cannot make one.
std::string MakeLatin1Locale(const std::string& dir) {
  const std::string name = "de_DE.ISO-8859-1";
  ProcessOptions options;
  options.args = {"-i", "de_DE", "-f", "ISO-8859-1", dir + "/" + name};
  RunProcess("/usr/bin/localedef", options);  // warnings give exit code 1 with a usable locale
  return std::filesystem::exists(dir + "/" + name + "/LC_CTYPE") ? name : "";
}

}  // namespace

TEST(StandinRun, LinesAreWrittenInTheLocalesEncoding) {
  // The database path comes back in the result line, so the stand-in waits past 2000 ms.
  const std::string script = "pause 2100\n";
  ScopedTempDir dir;

  ProcessOptions posix;
  posix.env["LC_ALL"] = "POSIX";
  StandinRun utf8 = RunFbwarm({"/DB:/srv/Gr\xc3\xbc\xc3\x9f"
                               "e.fdb",
                               "/USER:SYSDBA", "/PASSWORD:x"},
                              script, "full", posix);
  EXPECT_EQ(utf8.result.out, CrLfLines({kNotLocal, "",
                                        "Fertig! (DB=127.0.0.1:/srv/Gr\xc3\xbc\xc3\x9f"
                                        "e.fdb)"}));

  const std::string latin1_locale = MakeLatin1Locale(dir.path());
  if (latin1_locale.empty()) GTEST_SKIP() << "localedef cannot make de_DE.ISO-8859-1 here";
  // A copy of the binary with a UTF-8 parameter file beside it brings in a character that
  // ISO-8859-1 lacks (the euro sign), next to one that it has.
  std::filesystem::copy_file(FbwarmBinary(), dir / "fbwarm");
  WriteFileBytes(dir / "fbwarm.INI",
                 "\xef\xbb\xbf[STARTPARAMS]\n/DB:/srv/\xe2\x82\xac-\xc3\xbc.fdb\n");
  ProcessOptions latin1;
  latin1.env["LOCPATH"] = dir.path();
  latin1.env["LC_ALL"] = latin1_locale;
  StandinRun run =
      RunFbwarm({"/USER:SYSDBA", "/PASSWORD:x"}, script, "full", latin1, dir / "fbwarm");
  EXPECT_EQ(run.result.out, CrLfLines({kNotLocal, "", "Fertig! (DB=127.0.0.1:/srv/?-\xfc.fdb)"}));
}
