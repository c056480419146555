// The whole tool against the local Firebird server, as a database administrator runs it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "tests/support/firebird.h"
#include "tests/support/page_cache.h"
#include "tests/tool/fbwarm_process.h"
#include "tool/operator_report.h"

namespace {

ProcessResult RunFbwarm(const std::vector<std::string>& args) {
  ProcessOptions options;
  options.args = args;
  options.timeout_seconds = 300;
  return RunProcess(FbwarmBinary(), options);
}

// Report lines that change from run to run: dates, and counters every attachment moves on.
bool RunDependent(const std::string& line) {
  for (const char* prefix :
       {"Gstat execution time", "Gstat completion time", "\tGeneration", "\tOldest transaction",
        "\tOldest active", "\tOldest snapshot", "\tNext transaction", "\tNext attachment ID"})
    if (line.rfind(prefix, 0) == 0) return true;
  return false;
}

std::vector<std::string> Comparable(std::vector<std::string> lines) {
  lines.erase(std::remove_if(lines.begin(), lines.end(), RunDependent), lines.end());
  return lines;
}

class RealServer : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_REAL_SERVER(); }
};

}  // namespace

TEST_F(RealServer, AFullRunWarmsTheFileAndEndsWithTheResultLine) {
  const std::string db = StandardDatabase("large");
  EvictFromCache(db);
  ASSERT_LT(ResidentShare(db), 0.05) << "the file could not be evicted from the page cache";
  ProcessResult r = RunFbwarm({"/DB:" + db, "/USER:SYSDBA", "/PASSWORD:" + FirebirdPassword()});
  const std::vector<std::string> lines = SplitCrLf(r.out);
  ASSERT_GE(lines.size(), 5u) << r.out;
  EXPECT_EQ(lines[0], "Natives FileCache Start...");
  EXPECT_EQ(lines[1], "Natives FileCache Fertig.");
  EXPECT_EQ(lines[3], "Database \"" + db + "\" ");
  EXPECT_EQ(lines[lines.size() - 2], "");
  EXPECT_EQ(lines.back(), "Fertig! (DB=127.0.0.1:" + db + ")");
  EXPECT_EQ(r.out.substr(r.out.size() - 2), "\r\n");
  EXPECT_EQ(r.exit_code, 0);
  // Standard error tells what the read-through found and did: little cached before, every byte
  // read, the file cached when it ended (a memory warning may come first on a machine with less
  // room than the file).
  const std::vector<std::string> err = SplitAt(r.err, "\n");
  ASSERT_FALSE(err.empty());
  std::smatch m;
  ASSERT_TRUE(std::regex_match(err.back(), m,
                               std::regex("fbwarm: Dateicache: .* im Cache \\(([0-9]+) %\\), "
                                          "vorher ([0-9]+) %; gelesen ([0-9.]+ GB) in .*")))
      << r.err;
  const bool short_of_room = err.size() > 1 && err[0].find("WARNUNG: Die Datenbankdatei (") == 0;
  if (!short_of_room) EXPECT_GE(std::stoi(m[1]), 95);
  // The file was evicted just before; other sessions on this shared machine may read the shared
  // database meanwhile, so "before" is bounded loosely: a cold file is not reported warm.
  EXPECT_LE(std::stoi(m[2]), 50);
  EXPECT_EQ(m[3].str(), FormatBytes(std::filesystem::file_size(db)));
  // What is resident after the statistics run is not asserted: it reads pages back in, and this
  // machine reclaims idle file cache meanwhile.
}

TEST_F(RealServer, TheReportIsTheOneTheServersOwnUtilityPrints) {
  const std::string db = StandardDatabase("small");
  ProcessResult ours = RunFbwarm({"/DB:" + db, "/USER:SYSDBA", "/PASSWORD:" + FirebirdPassword()});
  ProcessOptions options;
  options.args = {"127.0.0.1:service_mgr", "user",   "SYSDBA", "password",       FirebirdPassword(),
                  "action_db_stats",       "dbname", db,       "sts_data_pages", "sts_idx_pages"};
  ProcessResult theirs = RunProcess("fbsvcmgr", options);
  ASSERT_EQ(theirs.exit_code, 0) << theirs.err;

  std::vector<std::string> lines = SplitCrLf(ours.out);
  // The small database is read in far less than 2000 ms: the report, then the error line.
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines.back(), "FEHLER Fehler aufgetreten");
  std::vector<std::string> report(lines.begin() + 2, lines.end() - 2);
  EXPECT_EQ(lines[lines.size() - 2], "");  // the empty line that ends every report
  EXPECT_EQ(Comparable(report), Comparable(SplitAt(theirs.out, "\n")));
  EXPECT_GT(report.size(), 50u);
}

TEST_F(RealServer, EachServerRefusalIsOneErrorLineWithTheServersMessage) {
  const std::string db = StandardDatabase("small");
  const std::string password = FirebirdPassword();
  struct Case {
    std::vector<std::string> args;
    std::string first_line;
    std::string error;
  } cases[] = {
      {{"/DB:" + db, "/USER:SYSDBA", "/PASSWORD:wrong" + password},
       "Natives FileCache Fertig.",
       "FEHLER Your user name and password are not defined. Ask your database administrator "
       "to set up a Firebird login"},
      {{"/DB:/var/lib/fbwarm/no-such.fdb", "/USER:SYSDBA", "/PASSWORD:" + password},
       "Natives FileCache kann nur auf dem Server selbst ausgefuehrt werden.",
       "FEHLER Can't open database file /var/lib/fbwarm/no-such.fdb"},
      {{"/DB:" + db, "/SERVER:127.0.0.1/3059", "/USER:SYSDBA", "/PASSWORD:" + password},
       "Natives FileCache Fertig.",
       "FEHLER Unable to complete network request to host \"127.0.0.1\".\r\n"
       "Failed to establish a connection"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    ProcessResult r = RunFbwarm(c.args);
    EXPECT_EQ(r.exit_code, 0);
    ASSERT_NE(r.out.find(c.first_line + "\r\n"), std::string::npos) << r.out;
    // Nothing after the file cache lines but the one error line (which may hold line breaks).
    const size_t after = r.out.find(c.first_line + "\r\n") + c.first_line.size() + 2;
    EXPECT_EQ(r.out.substr(after, c.error.size() + 2).substr(0, 7), "FEHLER ");
    EXPECT_EQ(r.out.substr(after, 7 + c.error.size() - 7), c.error.substr(0, c.error.size()));
    EXPECT_EQ(r.out.substr(after + c.error.size()).find("\r\n"), 0u);
  }
}
