// /SERVERCACHE against the local Firebird servers, with every client: on a copy of the small
// database whose page buffers lie above the file-cache threshold (the server reads it past the
// file cache) and which lingers, the pages the step brought in are found in the engine's cache
// by a later attachment; the step's skips are said on standard error; and standard output is
// always what a run without the parameter prints.
#include <gtest/gtest.h>

#include <regex>

#include "tests/support/firebird_clients.h"
#include "tests/support/scratch_database.h"
#include "tests/support/temp_dir.h"
#include "tests/tool/fbwarm_process.h"

namespace {

// Above FileSystemCacheThreshold's default (65536), and as few as that allows: each costs the
// server a page of memory while the database is open.
constexpr int kBuffersAboveThreshold = 66000;

// A query over every row of the small database's tables, between two snapshots of the
// attachment's own page counters, each in a transaction of its own.
constexpr char kCountersAroundQuery[] =
    "SET LIST ON;\n"
    "SELECT 'COUNTERS ' || io.MON$PAGE_READS || ' ' || io.MON$PAGE_FETCHES AS C FROM "
    "MON$ATTACHMENTS a JOIN MON$IO_STATS io ON io.MON$STAT_ID = a.MON$STAT_ID WHERE "
    "a.MON$ATTACHMENT_ID = CURRENT_CONNECTION;\nCOMMIT;\n"
    "SELECT (SELECT COUNT(*) FROM ORDERS) + (SELECT COUNT(*) FROM CUSTOMERS) + (SELECT COUNT(*) "
    "FROM DOCUMENTS) + (SELECT COUNT(*) FROM EVENTS) AS N FROM RDB$DATABASE;\nCOMMIT;\n"
    "SELECT 'COUNTERS ' || io.MON$PAGE_READS || ' ' || io.MON$PAGE_FETCHES AS C FROM "
    "MON$ATTACHMENTS a JOIN MON$IO_STATS io ON io.MON$STAT_ID = a.MON$STAT_ID WHERE "
    "a.MON$ATTACHMENT_ID = CURRENT_CONNECTION;\nCOMMIT;";

struct QueryCounters {
  long long reads = -1;
  long long fetches = -1;
};

class ServerCacheRun : public ::testing::TestWithParam<ClientServerPair> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_PAIR(GetParam());
    scratch_ = std::make_unique<ScratchDatabase>(Server());
    ASSERT_FALSE(scratch_->Path().empty()) << "no copy of the small database";
  }

  const FirebirdServer& Server() const { return GetParam().server; }

  ProcessResult RunFbwarm(std::vector<std::string> more, const std::string& user = "SYSDBA",
                          const std::string& password = "",
                          const std::string& state_directory = "") const {
    ProcessOptions options;
    if (!state_directory.empty()) {
      options.env["XDG_STATE_HOME"] = state_directory;
      options.env["STATE_DIRECTORY"] = std::nullopt;
    }
    options.args = {"/DB:" + scratch_->Path(), "/USER:" + user,
                    "/PASSWORD:" + (password.empty() ? FirebirdPassword(Server()) : password)};
    const std::vector<std::string> server = GetParam().ServerArgs();
    options.args.insert(options.args.end(), server.begin(), server.end());
    options.args.insert(options.args.end(), more.begin(), more.end());
    options.wrapper = GetParam().client.wrapper;
    options.timeout_seconds = 300;
    return RunProcess(FbwarmBinary(), options);
  }

  // What the query over every table moved: pages read from the file, pages fetched.
  QueryCounters CountersAcrossQuery() const {
    const std::optional<std::string> out =
        IsqlOutput(Server(), scratch_->Path(), kCountersAroundQuery);
    if (!out) return {};
    std::vector<QueryCounters> snapshots;
    const std::regex line("C +COUNTERS ([0-9]+) ([0-9]+)");
    for (const std::string& text : SplitAt(*out, "\n")) {
      std::smatch m;
      if (std::regex_match(text, m, line))
        snapshots.push_back({std::stoll(m[1]), std::stoll(m[2])});
    }
    if (snapshots.size() != 2) return {};
    return {snapshots[1].reads - snapshots[0].reads, snapshots[1].fetches - snapshots[0].fetches};
  }

  // Standard output without the report lines that move from run to run.
  std::vector<std::string> StableOutput(const ProcessResult& r) const {
    return Server().StableLines(SplitCrLf(r.out));
  }

  // StableOutput without its last line, the 2000 ms rule's verdict on the run's own time, which
  // the step adds to and a loaded machine stretches: either ending is right for a full run.
  std::vector<std::string> OutputBeforeVerdict(const ProcessResult& r) const {
    std::vector<std::string> lines = StableOutput(r);
    EXPECT_FALSE(lines.empty()) << r.err;
    if (lines.empty()) return lines;
    const std::string& last = lines.back();
    EXPECT_TRUE(last == "FEHLER Fehler aufgetreten" || last.rfind("Fertig! (DB=", 0) == 0)
        << last << "\n"
        << r.err;
    lines.pop_back();
    return lines;
  }

  std::unique_ptr<ScratchDatabase> scratch_;
};

TEST_P(ServerCacheRun, ALaterQueryFindsTheWarmedPagesInTheEnginesCache) {
  ASSERT_TRUE(
      Gfix(Server(), scratch_->Path(), "-buffers " + std::to_string(kBuffersAboveThreshold)));
  ASSERT_TRUE(Isql(Server(), scratch_->Path(), "ALTER DATABASE SET LINGER TO 120;\nCOMMIT;"));
  ASSERT_TRUE(scratch_->Close());

  // Without the step the statistics run reads past the engine's cache: the query reads pages.
  const ProcessResult plain = RunFbwarm({});
  const QueryCounters cold = CountersAcrossQuery();
  ASSERT_GE(cold.reads, 0) << "the page counters could not be read";
  EXPECT_GT(cold.reads, 100) << "the query found the pages cached without the step";

  ASSERT_TRUE(scratch_->Close());
  const ProcessResult warmed = RunFbwarm({"/SERVERCACHE"});
  // The lingering database keeps the engine's cache until the query's attachment comes.
  const QueryCounters warm = CountersAcrossQuery();
  EXPECT_EQ(warm.reads, 0) << warmed.err;
  EXPECT_GT(warm.fetches, 100);
  EXPECT_GE(warm.fetches, cold.fetches / 2);

  EXPECT_EQ(OutputBeforeVerdict(warmed), OutputBeforeVerdict(plain)) << warmed.err << plain.err;
  EXPECT_EQ(warmed.exit_code, plain.exit_code) << warmed.err << plain.err;
  const std::regex summary(
      "fbwarm: SERVERCACHE: [0-9]+ Seiten \\(.*\\) in [0-9.]+ s in den Seitencache des Servers "
      "geholt, nach Wert geordnet, davon [0-9]+ aus der Datei gelesen; [0-9]+ % der " +
      std::to_string(kBuffersAboveThreshold) + " Seitenpuffer belegt .*");
  const std::vector<std::string> err = SplitAt(warmed.err, "\n");
  EXPECT_TRUE(std::any_of(err.begin(), err.end(), [&](const std::string& text) {
    return std::regex_match(text, summary);
  })) << warmed.err;
  EXPECT_NE(warmed.err.find("fbwarm: SERVERCACHE: Seiten je Tabelle: "), std::string::npos);
  EXPECT_NE(warmed.err.find("ORDERS "), std::string::npos);
}

// Together with /FIT, on the run that makes the page-role map and on the next one that reads by
// it: the pages come by value and are found in the engine's cache afterwards, and standard
// output is that of /FIT alone.
TEST_P(ServerCacheRun, WithFitTheStepStillFillsTheCacheByValue) {
  ASSERT_TRUE(
      Gfix(Server(), scratch_->Path(), "-buffers " + std::to_string(kBuffersAboveThreshold)));
  ASSERT_TRUE(Isql(Server(), scratch_->Path(), "ALTER DATABASE SET LINGER TO 120;\nCOMMIT;"));
  ScopedTempDir state;
  const std::regex by_value(
      "fbwarm: SERVERCACHE: [0-9]+ Seiten \\(.*\\) in [0-9.]+ s in den Seitencache des Servers "
      "geholt, nach Wert geordnet, .*");
  for (const char* run : {"the run that makes the map", "the run by the map"}) {
    SCOPED_TRACE(run);
    ASSERT_TRUE(scratch_->Close());
    const ProcessResult fit_only = RunFbwarm({"/FIT"}, "SYSDBA", "", state.path());
    ASSERT_TRUE(scratch_->Close());
    const ProcessResult both = RunFbwarm({"/FIT", "/SERVERCACHE"}, "SYSDBA", "", state.path());
    const QueryCounters warm = CountersAcrossQuery();
    EXPECT_EQ(warm.reads, 0) << both.err;
    EXPECT_GT(warm.fetches, 100);
    const std::vector<std::string> err = SplitAt(both.err, "\n");
    EXPECT_TRUE(std::any_of(err.begin(), err.end(), [&](const std::string& text) {
      return std::regex_match(text, by_value);
    })) << both.err;
    EXPECT_EQ(OutputBeforeVerdict(both), OutputBeforeVerdict(fit_only));
    EXPECT_EQ(both.exit_code, fit_only.exit_code);
  }
}

TEST_P(ServerCacheRun, SkipsAreSaidOnStandardErrorAndStandardOutputStaysAsWithoutTheStep) {
  const FirebirdServer& server = Server();
  const std::string user = "FBWARM_SC_" + std::to_string(getpid());
  ASSERT_TRUE(Isql(server, scratch_->Path(), "CREATE USER " + user + " PASSWORD 'pw22';\nCOMMIT;"));
  struct Case {
    const char* what;
    std::string setup;  // isql statements before the runs
    std::string user, password;
    std::string line;  // the start of the skip line
  } cases[] = {
      {"linger never set", "", "SYSDBA", "",
       "fbwarm: SERVERCACHE uebersprungen: LINGER ist nicht gesetzt und keine andere Verbindung"},
      {"linger 0", "ALTER DATABASE SET LINGER TO 0;\nCOMMIT;", "SYSDBA", "",
       "fbwarm: SERVERCACHE uebersprungen: LINGER ist 0 und keine andere Verbindung"},
      {"a user who may not read pages", "ALTER DATABASE SET LINGER TO 5;\nCOMMIT;", user, "pw22",
       "fbwarm: SERVERCACHE uebersprungen: der Benutzer " + user +
           " darf keine Datenbankseiten lesen"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.setup.empty()) {
      ASSERT_TRUE(Isql(server, scratch_->Path(), c.setup));
    }
    ASSERT_TRUE(scratch_->Close());
    const ProcessResult plain = RunFbwarm({}, c.user, c.password);
    const ProcessResult asked = RunFbwarm({"/SERVERCACHE"}, c.user, c.password);
    if (c.user == "SYSDBA") {
      EXPECT_EQ(OutputBeforeVerdict(asked), OutputBeforeVerdict(plain));
    } else {
      // The statistics run fails for this user part-way through the report, after more or
      // fewer of its lines as the server sends them: the lines before it agree as far as both
      // go, and the error (which may span lines) is the same.
      const std::vector<std::string> ours = StableOutput(asked), theirs = StableOutput(plain);
      const auto error_of = [](const std::vector<std::string>& lines) {
        return std::find_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.rfind("FEHLER ", 0) == 0; });
      };
      const auto our_error = error_of(ours), their_error = error_of(theirs);
      ASSERT_NE(our_error, ours.end()) << asked.out;
      ASSERT_NE(their_error, theirs.end()) << plain.out;
      EXPECT_EQ(std::vector<std::string>(our_error, ours.end()),
                std::vector<std::string>(their_error, theirs.end()));
      const size_t before = std::min(our_error - ours.begin(), their_error - theirs.begin());
      EXPECT_GE(before, 2u);
      EXPECT_TRUE(std::equal(ours.begin(), ours.begin() + before, theirs.begin()))
          << asked.out << plain.out;
    }
    EXPECT_EQ(asked.exit_code, plain.exit_code);
    EXPECT_NE(asked.err.find("\n" + c.line), std::string::npos) << asked.err;
    EXPECT_EQ(asked.err.find("Seitencache des Servers geholt"), std::string::npos) << asked.err;
  }
  Isql(server, scratch_->Path(), "DROP USER " + user + ";\nCOMMIT;");
}

TEST_P(ServerCacheRun, AWrongPasswordIsTheOneErrorLineItIsWithoutTheStep) {
  const std::string wrong = "wrong" + FirebirdPassword(Server());
  const ProcessResult plain = RunFbwarm({}, "SYSDBA", wrong);
  const ProcessResult asked = RunFbwarm({"/SERVERCACHE"}, "SYSDBA", wrong);
  EXPECT_EQ(asked.out,
            "Natives FileCache Start...\r\nNatives FileCache Fertig.\r\n"
            "FEHLER Your user name and password are not defined. Ask your database administrator "
            "to set up a Firebird login\r\n");
  EXPECT_EQ(asked.out, plain.out);
  EXPECT_EQ(asked.exit_code, 0) << asked.err;
}

INSTANTIATE_TEST_SUITE_P(EveryClientAndServer, ServerCacheRun,
                         ::testing::ValuesIn(EveryClientAndServer()), PairName());

}  // namespace
