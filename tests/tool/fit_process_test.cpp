// /FIT end to end against the stand-in client library, over a database file made page by page:
// the page-role map's life through the tool, the budget honoured, standard output unchanged.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "tests/pages/synthetic_pages.h"
#include "tests/support/page_cache.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_cases.h"
#include "tests/tool/fbwarm_process.h"

namespace {

constexpr uint32_t kPageSize = 8192;
constexpr uint64_t kMiB = 1024 * 1024;

// Two tables: 128 with 64 data pages, 129 with 256; one index each. With a budget of 1 MiB the
// pages before the data and table 128 fit, table 129 does not.
std::vector<SyntheticPage> Database() {
  std::vector<SyntheticPage> pages;
  pages.push_back(HeaderPage(kPageSize, 12));
  pages.emplace_back(kPageSize, 2, 1);  // page inventory: nothing free
  pages.emplace_back(kPageSize, 3, 2);  // transaction inventory
  std::vector<uint32_t> small, large;
  for (uint32_t p = 10; p < 74; ++p) small.push_back(p);
  for (uint32_t p = 74; p < 330; ++p) large.push_back(p);
  pages.push_back(SyntheticPage(kPageSize, 4, 3).PointerTo(128, small));
  pages.push_back(SyntheticPage(kPageSize, 4, 4).PointerTo(129, large));
  pages.push_back(SyntheticPage(kPageSize, 6, 5).IndexRootRelation(128));
  pages.push_back(SyntheticPage(kPageSize, 6, 6).IndexRootRelation(129));
  pages.push_back(SyntheticPage(kPageSize, 7, 7).BTree(128, 0, 1));
  pages.push_back(SyntheticPage(kPageSize, 7, 8).BTree(128, 0, 0));
  pages.push_back(SyntheticPage(kPageSize, 7, 9).BTree(129, 0, 0));
  for (uint32_t p : small) pages.push_back(SyntheticPage(kPageSize, 5, p).DataRelation(128));
  for (uint32_t p : large) pages.push_back(SyntheticPage(kPageSize, 5, p).DataRelation(129));
  return pages;
}

void WriteDatabase(const std::string& path, const std::vector<SyntheticPage>& pages) {
  const std::vector<uint8_t> bytes = FileOf(pages);
  WriteFileBytes(path, std::string(bytes.begin(), bytes.end()));
}

const std::string kReportScript = "line Database header\nline Analyzing database pages ...\n";

class FitRun : public testing::Test {
 public:
  void SetUp() override { WriteDatabase(Db(), Database()); }

  std::string Db() const { return dir_ / "main.fdb"; }
  std::string StateDir() const { return dir_ / "state"; }
  // The map files in the state directory.
  std::vector<std::string> MapFiles() const {
    std::vector<std::string> files;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(StateDir() + "/fbwarm", ignored))
      files.push_back(entry.path().string());
    return files;
  }

  struct Run {
    ProcessResult result;
    std::vector<std::string> calls;
  };
  Run Fbwarm(std::vector<std::string> more, const std::string& binary = FbwarmBinary(),
             std::map<std::string, std::optional<std::string>> env = {}) const {
    ScopedTempDir work;
    WriteFileBytes(work / "script", kReportScript);
    ProcessOptions options;
    options.args = {"/DB:" + Db(), "/USER:SYSDBA", "/PASSWORD:secret"};
    options.args.insert(options.args.end(), more.begin(), more.end());
    options.env = std::move(env);
    options.env["LD_LIBRARY_PATH"] = StandinDir();
    options.env["FBWARM_STANDIN_SCRIPT"] = work / "script";
    options.env["FBWARM_STANDIN_LOG"] = work / "log";
    options.env["STATE_DIRECTORY"] = std::nullopt;
    options.env["XDG_STATE_HOME"] = StateDir();
    Run run{RunProcess(binary, options), {}};
    run.calls = ServiceCalls(SplitAt(ReadFileBytes(work / "log"), "\n"));
    return run;
  }

 private:
  ScopedTempDir dir_;
};

bool HasLine(const std::string& err, const std::string& pattern) {
  return std::regex_search(err, std::regex("(^|\n)fbwarm: " + pattern));
}

TEST_F(FitRun, TheMapIsBuiltOnceUsedLaterAndBuiltAgainWhenItNoLongerFits) {
  const std::string built = "FIT: Die ganze Datei wurde gelesen, um ihre Seiten einzuordnen: ";
  const std::string used = "FIT: Seitenkarte von gerade eben; nach Wert gelesen: ";
  struct Step {
    const char* what;
    std::function<void(FitRun&)> before;
    std::string expected;  // a line of standard error, as a regular expression
  } steps[] = {
      {"no map yet", [](FitRun&) {}, built + "es gibt noch keine Seitenkarte fuer sie\\."},
      {"the map of the first run", [](FitRun&) {}, used},
      {"every page read was checked, none differed", [](FitRun&) {},
       "FIT: In diesem Lauf geprueft: 74 Seiten, davon 0 in der Karte berichtigt\\."},
      {"an index page became a data page of table 129",
       [](FitRun& t) {
         std::vector<SyntheticPage> pages = Database();
         pages[9] = SyntheticPage(kPageSize, 5, 9).DataRelation(129);
         WriteDatabase(t.Db(), pages);
       },
       "FIT: In diesem Lauf geprueft: [0-9]+ Seiten, davon 1 in der Karte berichtigt\\."},
      {"the corrected map needs no correction", [](FitRun&) {},
       "FIT: In diesem Lauf geprueft: [0-9]+ Seiten, davon 0 in der Karte berichtigt\\."},
      {"the file grew by a page",
       [](FitRun& t) {
         std::vector<SyntheticPage> pages = Database();
         pages.push_back(SyntheticPage(kPageSize, 5, 330).DataRelation(129));
         WriteDatabase(t.Db(), pages);
       },
       built + "ihre Seitenkarte ist veraltet"},
      {"the map file was altered",
       [](FitRun& t) {
         const std::string map = t.MapFiles().at(0);
         std::string bytes = ReadFileBytes(map);
         bytes[bytes.size() / 2] ^= 0x20;
         WriteFileBytes(map, bytes);
       },
       built + "ihre Seitenkarte ist beschaedigt\\."},
      {"the file was made anew at its path",
       [](FitRun& t) {
         std::filesystem::remove(t.Db());
         WriteDatabase(t.Db(), Database());
       },
       built + "ihre Seitenkarte (gehoert zu einer anderen Datei unter diesem Pfad|ist veraltet)"},
  };
  for (Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.before(*this);
    const Run run = Fbwarm({"/FIT", "/MAXMB:1"});
    EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
    EXPECT_TRUE(HasLine(run.result.err, step.expected)) << run.result.err;
    EXPECT_EQ(MapFiles().size(), 1u);
  }
}

// The long read is announced before it starts, and only when there is no usable map.
TEST_F(FitRun, AWholeReadIsAnnouncedBeforeItBegins) {
  const std::string announced =
      "fbwarm: FIT: Die ganze Datei wird einmal gelesen, um ihre Seiten einzuordnen (es gibt noch "
      "keine Seitenkarte fuer sie); spaetere Laeufe lesen nur nach Wert bis zum Budget.";
  const Run first = Fbwarm({"/FIT", "/MAXMB:1"});
  const Run later = Fbwarm({"/FIT", "/MAXMB:1"});
  const size_t at = first.result.err.find(announced);
  ASSERT_NE(at, std::string::npos) << first.result.err;
  EXPECT_LT(at, first.result.err.find("fbwarm: Dateicache: ")) << first.result.err;
  EXPECT_EQ(later.result.err.find("wird einmal gelesen"), std::string::npos) << later.result.err;
}

TEST_F(FitRun, StandardOutputIsTheSameWithAndWithoutFitOnlyTheRequestDiffers) {
  const Run plain = Fbwarm({});
  const Run first = Fbwarm({"/FIT", "/MAXMB:1"});
  const Run later = Fbwarm({"/MAXMB:1"});  // a budget alone asks for /FIT
  const Run everything = Fbwarm({"/FIT", "/MAXMB:100"});
  EXPECT_EQ(plain.result.out,
            "Natives FileCache Start...\r\nNatives FileCache Fertig.\r\n"
            "Database header\r\nAnalyzing database pages ...\r\n\r\n" +
                kTooFast + "\r\n");
  const std::string start = "isc_service_start handle=1 request=0b" + StartItem("6a", Db());
  for (const Run* run : {&plain, &first, &later, &everything}) {
    EXPECT_EQ(run->result.out, plain.result.out);
    EXPECT_EQ(run->result.exit_code, 0) << run->result.err;
    ASSERT_GE(run->calls.size(), 2u);
  }
  EXPECT_EQ(plain.calls[1], start + "6c09000000");
  // The stand-in knows no tables' names: the pages of indexes alone, of every table.
  EXPECT_EQ(first.calls[1], start + "6c08000000");
  EXPECT_EQ(later.calls[1], start + "6c08000000");
  // Every table fits: the request of a run without /FIT.
  EXPECT_EQ(everything.calls[1], start + "6c09000000");
  EXPECT_TRUE(HasLine(later.result.err, "FIT: Budget 1 MiB \\(/MAXMB\\), Datei 2\\.7 MB\\."))
      << later.result.err;
  EXPECT_FALSE(HasLine(plain.result.err, "FIT")) << plain.result.err;
}

TEST_F(FitRun, TheReadsByPlanBringInNoMoreThanTheBudget) {
  const ProcessResult map_run = Fbwarm({"/FIT", "/MAXMB:1"}).result;  // builds the map
  ASSERT_EQ(map_run.exit_code, 0) << map_run.err;
  const uint64_t size = std::filesystem::file_size(Db());
  EvictFromCache(Db());
  ASSERT_LT(ResidentShare(Db()), 0.05) << "the file could not be evicted";
  const Run run = Fbwarm({"/FIT", "/MAXMB:1"});
  ASSERT_EQ(run.result.exit_code, 0) << run.result.err;
  // Only the reads could bring pages in (the stand-in reads nothing): the budget bounds them.
  // The machine may drop idle pages meanwhile, which only lowers the figure.
  EXPECT_LE(ResidentShare(Db()) * static_cast<double>(size), 1.0 * kMiB) << run.result.err;
  // The plan read the index pages and table 128's data (74 pages), not table 129's (256).
  EXPECT_TRUE(HasLine(run.result.err,
                      "FIT: Seitenkarte von gerade eben; nach Wert gelesen: 606\\.2 KB in [0-9]+ "
                      "Anfragen; Indexseiten vollstaendig, Daten von 1 von 2 Tabellen\\."))
      << run.result.err;
  EXPECT_TRUE(HasLine(run.result.err,
                      "Im Cache nach dem Lauf: Indexe 100 %, Zeiger 100 %, "
                      "Verzeichnisse 100 %, Daten [0-9]+ %"))
      << run.result.err;
}

TEST_F(FitRun, WithoutMaxmbTheBudgetIsTheRoomOfTheFileCache) {
  const Run run =
      Fbwarm({"/FIT"}, TestHooksBinary(), {{"FBWARM_TEST_MEMORY_LIMIT", std::to_string(2 * kMiB)}});
  EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  EXPECT_TRUE(HasLine(run.result.err, "FIT: Budget 2 MiB \\(Platz des Dateicaches\\)"))
      << run.result.err;
  // The file exceeds the room, yet under /FIT the warning that reading it all evicts its own
  // start does not apply.
  EXPECT_FALSE(HasLine(run.result.err, "WARNUNG: Die Datenbankdatei")) << run.result.err;
}

TEST_F(FitRun, AStateDirectoryThatCannotBeMadeCostsTheMapNotTheRun) {
  WriteFileBytes(StateDir(), "a file where the directory should be");
  const Run first = Fbwarm({"/FIT", "/MAXMB:1"});
  const Run second = Fbwarm({"/FIT", "/MAXMB:1"});
  for (const Run* run : {&first, &second}) {
    EXPECT_EQ(run->result.exit_code, 0) << run->result.err;
    EXPECT_TRUE(HasLine(run->result.err,
                        "WARNUNG: FIT: Die Seitenkarte konnte nicht gespeichert werden \\(" +
                            StateDir() + "/fbwarm/main\\.fdb-[0-9a-f]+\\.pagemap\\): .*"))
        << run->result.err;
    EXPECT_TRUE(HasLine(run->result.err, "FIT: Die ganze Datei wurde gelesen"));
    EXPECT_EQ(run->result.out, first.result.out);
  }
}

TEST_F(FitRun, ARefusedBudgetEndsTheRunBeforeAnythingIsRead) {
  for (const std::string value : {"0", "1.5", "viel", ""}) {
    SCOPED_TRACE(value);
    const Run run = Fbwarm({"/MAXMB:" + value});
    EXPECT_EQ(run.result.out, "FEHLER Parameter MAXMB ungueltig: \"" + value +
                                  "\" (erwartet: ganze Zahl von MiB, mindestens 1)\r\n");
    EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
    EXPECT_TRUE(run.calls.empty());
    EXPECT_TRUE(MapFiles().empty());
  }
}

}  // namespace
