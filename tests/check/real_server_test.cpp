// fbwarm-check against the local Firebird server: the statuses of real runs.
#include <gtest/gtest.h>

#include "tests/check/check_process.h"
#include "tests/support/firebird.h"

TEST(CheckServer, RealRunsGetTheirStatuses) {
  SKIP_WITHOUT_REAL_SERVER();
  const std::string pw = "/PASSWORD:" + FirebirdPassword();
  const std::string large = StandardDatabase("large"), small = StandardDatabase("small");
  const struct {
    const char* name;
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {"a full run", {"/DB:" + large, "/USER:SYSDBA", pw}, 0},
      {"a small database, done in under 2000 ms", {"/DB:" + small, "/USER:SYSDBA", pw}, 4},
      {"wrong password", {"/DB:" + small, "/USER:SYSDBA", "/PASSWORD:wrong-password"}, 1},
      {"nothing listens on the port",
       {"/DB:" + small, "/USER:SYSDBA", pw, "/SERVER:127.0.0.1/1"},
       3},
      {"the database file is not there",
       {"/DB:/var/lib/fbwarm/missing.fdb", "/USER:SYSDBA", pw},
       3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ProcessOptions options;
    options.args = c.args;
    options.timeout_seconds = 300;
    const ProcessResult r = RunProcess(CheckBinary(), options);
    EXPECT_EQ(r.exit_code, c.status) << r.err;
    const std::vector<std::string> lines = SplitCrLf(r.out);
    ASSERT_FALSE(lines.empty());
    if (c.status == 0) {
      EXPECT_EQ(lines.back().rfind("Fertig! (DB=", 0), 0u);
      EXPECT_TRUE(HelperLines(r.err).empty()) << r.err;
    } else {
      // The helper quotes the error line last.
      const std::vector<std::string> helper = HelperLines(r.err);
      ASSERT_FALSE(helper.empty()) << r.err;
      const size_t first = r.out.find("FEHLER ");
      ASSERT_NE(first, std::string::npos);
      EXPECT_EQ(helper[1], "fbwarm: fbwarm-check:   " + SplitCrLf(r.out.substr(first))[0]);
    }
  }
}
