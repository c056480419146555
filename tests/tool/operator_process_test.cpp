// Standard error of the built binary as an operator sees it: the residency line, the memory
// warning, the unreadable-file warning for another user, residency hidden from root in a user
// namespace, and progress only on a terminal. Standard output stays byte for byte what it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <regex>

#include "tests/support/page_cache.h"
#include "tests/support/temp_dir.h"
#include "tests/tool/fbwarm_process.h"

namespace {

const std::vector<std::string> kReadThenNoClient = {"Natives FileCache Start...",
                                                    "Natives FileCache Fertig.", kLibraryMissing};

ProcessResult RunWithoutClient(std::vector<std::string> args, ProcessOptions options = {},
                               const std::string& binary = FbwarmBinary()) {
  options.args = std::move(args);
  options.env["LD_LIBRARY_PATH"] = BrokenClientDir();
  return RunProcess(binary, options);
}

// Standard error's lines without the last one, which names the client library that could not
// be loaded (checked here).
std::vector<std::string> ErrorLinesBeforeTheLibrary(const std::string& err) {
  std::vector<std::string> lines = SplitAt(err, "\n");
  EXPECT_FALSE(lines.empty());
  if (lines.empty()) return lines;
  EXPECT_TRUE(std::regex_match(lines.back(), std::regex(kBrokenClientLine))) << err;
  lines.pop_back();
  return lines;
}

// A file of random bytes on disk, written through so that it can be evicted.
void WriteDataFile(const std::string& path, size_t size) {
  std::mt19937_64 random(7);
  std::string bytes(size, '\0');
  for (size_t i = 0; i + 8 <= size; i += 8) {
    const uint64_t v = random();
    std::memcpy(&bytes[i], &v, 8);
  }
  WriteFileBytes(path, bytes);
  int fd = open(path.c_str(), O_RDONLY);
  fdatasync(fd);
  close(fd);
}

int ResidentPercent(const std::string& path) { return static_cast<int>(ResidentShare(path) * 100); }

// "before" and "after" of the residency line, or -1 each when it has none.
std::pair<int, int> BeforeAndAfter(const std::string& err) {
  std::smatch m;
  static const std::regex line(
      "fbwarm: Dateicache: [0-9.]+ [KMG]?B von [0-9.]+ [KMG]?B im Cache \\(([0-9]+) %\\), "
      "vorher ([0-9]+) %; gelesen [0-9.]+ [KMG]?B in [0-9.]+ s \\([^)]*\\)\n");
  if (!std::regex_search(err, m, line)) return {-1, -1};
  return {std::stoi(m[2]), std::stoi(m[1])};
}

}  // namespace

TEST(OperatorReporting, TheResidencyLineShowsAnEvictedFileAndThenAWarmOneByBothMechanisms) {
  ScopedTempDir dir;
  const std::string db = dir / "db.fdb";
  WriteDataFile(db, 32 << 20);
  for (const bool mincore : {false, true}) {
    SCOPED_TRACE(mincore ? "mincore" : "cachestat where the kernel has it");
    ProcessOptions options;
    if (mincore) options.env["FBWARM_TEST_RESIDENCY"] = "mincore";
    const std::string binary = mincore ? TestHooksBinary() : FbwarmBinary();
    EvictFromCache(db);
    if (ResidentPercent(db) > 5) GTEST_SKIP() << "the file system keeps evicted pages";
    // Nothing reads the file but the tool: it stays evicted until then.
    ProcessResult cold = RunWithoutClient({"/DB:" + db}, options, binary);
    EXPECT_EQ(cold.out, CrLfLines(kReadThenNoClient));
    ASSERT_EQ(ErrorLinesBeforeTheLibrary(cold.err).size(), 1u) << cold.err;
    EXPECT_NE(cold.err.find("; gelesen 33.6 MB in "), std::string::npos) << cold.err;
    const auto [before, after] = BeforeAndAfter(cold.err);
    EXPECT_LE(before, 5) << cold.err;
    // The pages the tool read may only have gone since it looked (this machine reclaims idle
    // file cache): what is resident now is at most what it saw.
    EXPECT_LE(ResidentPercent(db), after + 1) << "the tool saw less than there is";
    // Held in the cache, the file is all resident before and after the warm run.
    const PinnedInCache held(db);
    ASSERT_EQ(held.Failure(), "");
    ProcessResult warm = RunWithoutClient({"/DB:" + db}, options, binary);
    EXPECT_EQ(warm.out, CrLfLines(kReadThenNoClient));
    EXPECT_EQ(BeforeAndAfter(warm.err), std::make_pair(100, 100)) << warm.err;
  }
}

TEST(OperatorReporting, AFileLargerThanTheMemoryForTheCacheIsWarnedAbout) {
  ScopedTempDir dir;
  const std::string db = dir / "db.fdb";
  WriteDataFile(db, 10 << 20);
  EvictFromCache(db);
  ProcessOptions options;
  options.env["FBWARM_TEST_MEMORY_LIMIT"] = "2000000";
  ProcessResult r = RunWithoutClient({"/DB:" + db}, options, TestHooksBinary());
  EXPECT_EQ(r.out, CrLfLines(kReadThenNoClient));
  const std::vector<std::string> lines = ErrorLinesBeforeTheLibrary(r.err);
  ASSERT_EQ(lines.size(), 2u) << r.err;
  EXPECT_EQ(lines[0],
            "fbwarm: WARNUNG: Die Datenbankdatei (10.5 MB) ist groesser als der Speicher, den der "
            "Dateicache nutzen kann (2.0 MB, vorgegebene Grenze): hoechstens etwa 2.0 MB der "
            "Datei koennen im Cache bleiben; das Lesen verdraengt ihren Anfang und andere Daten "
            "aus dem Cache.");
  EXPECT_EQ(lines[1].rfind("fbwarm: Dateicache: ", 0), 0u);
  // Room enough: no warning.
  options.env["FBWARM_TEST_MEMORY_LIMIT"] = "20000000";
  EXPECT_EQ(
      ErrorLinesBeforeTheLibrary(RunWithoutClient({"/DB:" + db}, options, TestHooksBinary()).err)
          .size(),
      1u);
}

TEST(OperatorReporting, TheInstalledProgramReadsNoTestSettingAndTheSeamRefusesWhatItCannotRead) {
  ScopedTempDir dir;
  const std::string db = dir / "db.fdb";
  WriteDataFile(db, 1 << 20);
  const PinnedInCache held(db);
  ASSERT_EQ(held.Failure(), "");
  ProcessOptions options;
  options.env["FBWARM_TEST_MEMORY_LIMIT"] = "abc";
  options.env["FBWARM_TEST_RESIDENCY"] = "mincore";
  // The program itself: no warning, and /SKIPCACHED skips the cached file.
  ProcessResult program = RunWithoutClient({"/DB:" + db, "/SKIPCACHED"}, options);
  EXPECT_EQ(program.out, CrLfLines(kReadThenNoClient));
  const std::vector<std::string> lines = ErrorLinesBeforeTheLibrary(program.err);
  ASSERT_EQ(lines.size(), 1u) << program.err;
  EXPECT_NE(lines[0].find("gelesen 0 B"), std::string::npos) << lines[0];
  EXPECT_EQ(ReadFileBytes(FbwarmBinary()).find("FBWARM_TEST_"), std::string::npos);
  // The seam stops at a value it cannot read instead of taking it as 0 bytes.
  ProcessResult hooks = RunWithoutClient({"/DB:" + db}, options, TestHooksBinary());
  EXPECT_EQ(hooks.exit_code, 2) << hooks.err;
  EXPECT_EQ(hooks.out, "");
  EXPECT_EQ(hooks.err,
            "fbwarm-test-hooks: FBWARM_TEST_MEMORY_LIMIT=abc is not understood (mincore; a "
            "decimal number of bytes)\n");
}

TEST(OperatorReporting, WhenCachestatIsRefusedMincoreAnswers) {
  ScopedTempDir dir;
  const std::string db = dir / "db.fdb";
  // Sparse, two requests long: the first held in the cache, the second evicted.
  WriteFileBytes(db, "");
  std::filesystem::resize_file(db, 128 << 20);
  EvictFromCache(db);
  if (ResidentPercent(db) > 5) GTEST_SKIP() << "the file system keeps evicted pages";
  const PinnedInCache first_half(db, 0, 64 << 20);
  ASSERT_EQ(first_half.Failure(), "");
  // What a systemd unit's SystemCallFilter does to a call it does not know (cachestat is 451).
  for (const char* error : {"EPERM", "ENOSYS"}) {
    SCOPED_TRACE(error);
    ProcessOptions options;
    options.args = {"451", error, FbwarmBinary(), "/DB:" + db, "/SKIPCACHED"};
    options.env["LD_LIBRARY_PATH"] = BrokenClientDir();
    ProcessResult r = RunProcess(DenySyscallBinary(), options);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.out, CrLfLines(kReadThenNoClient));
    const std::vector<std::string> lines = ErrorLinesBeforeTheLibrary(r.err);
    ASSERT_EQ(lines.size(), 1u) << r.err;
    // Half held before, the held request skipped, the evicted rest read.
    EXPECT_NE(lines[0].find(", vorher 50 %; gelesen 67.1 MB in "), std::string::npos) << lines[0];
    EXPECT_TRUE(lines[0].ends_with(", 67.1 MB schon im Cache und uebersprungen")) << lines[0];
    EvictFromCache(db, 64 << 20, 0);
  }
}

TEST(OperatorReporting, RootInAUserNamespaceIsNotToldOtherOwnersFilesAreCached) {
  if (geteuid() != 0) GTEST_SKIP() << "a file of another owner needs root to be made";
  // Under /tmp, not TMPDIR: inside the namespace the directories on the way must be searchable
  // by anyone or owned by root.
  ScopedTempDir dir("/tmp");
  chmod(dir.path().c_str(), 0755);
  const std::string db = dir / "nobody.fdb";
  WriteDataFile(db, 4 << 20);
  ASSERT_EQ(chown(db.c_str(), 65534, 65534), 0);
  chmod(db.c_str(), 0644);
  EvictFromCache(db);
  if (ResidentPercent(db) > 5) GTEST_SKIP() << "the file system keeps evicted pages";
  ProcessOptions options;
  options.wrapper = {"unshare", "--user", "--map-root-user", "--"};
  ProcessResult r = RunWithoutClient({"/DB:" + db, "/SKIPCACHED"}, options);
  if (r.exit_code != 0 && r.out.empty()) GTEST_SKIP() << "no user namespaces here: " << r.err;
  EXPECT_EQ(r.out, CrLfLines(kReadThenNoClient));
  const std::vector<std::string> lines = ErrorLinesBeforeTheLibrary(r.err);
  ASSERT_EQ(lines.size(), 2u) << r.err;
  EXPECT_EQ(lines[0],
            "fbwarm: SKIPCACHED: die ganze Datei wird gelesen, weil dieser Benutzer die Belegung "
            "des Dateicaches nicht sehen kann.");
  EXPECT_EQ(lines[1].rfind("fbwarm: Dateicache: 4.2 MB, Anteil im Cache fuer diesen Benutzer "
                           "nicht sichtbar (nur fuer den Eigentuemer der Datei, wer sie schreiben "
                           "darf, oder root); gelesen 4.2 MB in ",
                           0),
            0u)
      << lines[1];
}

TEST(OperatorReporting, AnotherUserIsToldWhatCannotBeReadOrSeen) {
  if (geteuid() != 0) GTEST_SKIP() << "running the tool as another user needs root";
  // Under /tmp, not TMPDIR: nobody must reach the copies wherever the checkout is.
  ScopedTempDir dir("/tmp");
  const OtherUserCopy copy = CopyForOtherUser(dir.path());
  if (!copy.skip_reason.empty()) GTEST_SKIP() << copy.skip_reason;
  // The parameter file beside the copied binary names the database and asks for /SKIPCACHED.
  WriteDataFile(dir / "locked.fdb", 1 << 20);
  chmod((dir / "locked.fdb").c_str(), 0600);
  WriteDataFile(dir / "open.fdb", 1 << 20);
  chmod((dir / "open.fdb").c_str(), 0644);
  struct Case {
    std::string db;
    std::string err;
  } cases[] = {
      {dir / "locked.fdb",
       "fbwarm: WARNUNG: Die Datenbankdatei " + dir / "locked.fdb" +
           " kann nicht gelesen werden: Permission denied (Eigentuemer root, "
           "Modus 0600). Der Dateicache wurde nicht gefuellt; fbwarm als Benutzer des Servers oder "
           "als root starten, oder diesem Benutzer das Leserecht geben.\n"},
      // Readable, but the kernel would claim every page resident: no false 100 %.
      {dir / "open.fdb",
       "fbwarm: Dateicache: 1.0 MB, Anteil im Cache fuer diesen Benutzer nicht sichtbar (nur fuer "
       "den Eigentuemer der Datei, wer sie schreiben darf, oder root); gelesen 1.0 MB in "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.db);
    const std::string ini = copy.binary.substr(0, copy.binary.rfind('/')) + "/fbwarm.INI";
    WriteFileBytes(ini, "[STARTPARAMS]\r\n/DB:" + c.db + "\r\n/SKIPCACHED\r\n");
    chmod(ini.c_str(), 0644);
    ProcessOptions options;
    options.env["LD_LIBRARY_PATH"] = copy.broken_client_dir;
    options.working_dir = dir.path();
    options.wrapper = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"};
    ProcessResult r = RunProcess(copy.binary, options);
    EXPECT_EQ(r.out, CrLfLines(kReadThenNoClient));
    std::string err = r.err;
    // /SKIPCACHED has nothing to go by for a file whose residency this user cannot see.
    const std::string skip =
        "fbwarm: SKIPCACHED: die ganze Datei wird gelesen, weil dieser "
        "Benutzer die Belegung des Dateicaches nicht sehen kann.\n";
    if (c.db == dir / "open.fdb") {
      ASSERT_EQ(err.rfind(skip, 0), 0u) << err;
      err = err.substr(skip.size());
    }
    EXPECT_EQ(err.substr(0, c.err.size()), c.err);
    EXPECT_EQ(r.exit_code, 0) << r.err;
  }
}

TEST(OperatorReporting, ProgressIsShownOnATerminalAndClearedButNeverOnAPipe) {
  ScopedTempDir dir;
  const std::string db = dir / "db.fdb";
  WriteFileBytes(db, "");
  std::filesystem::resize_file(db, 600 << 20);  // sparse: ten requests, no disk
  ProcessResult on_pipe = RunWithoutClient({"/DB:" + db});
  EXPECT_EQ(on_pipe.out, CrLfLines(kReadThenNoClient));
  EXPECT_EQ(on_pipe.err.find('\r'), std::string::npos) << on_pipe.err;
  EXPECT_EQ(ErrorLinesBeforeTheLibrary(on_pipe.err).size(), 1u) << on_pipe.err;
  // Held in the cache, so that the residency line below can say all of it.
  const PinnedInCache held(db);
  ASSERT_EQ(held.Failure(), "");

  // Under a pseudo-terminal both streams arrive through it, in the order they were written.
  ProcessOptions options;
  options.env["LD_LIBRARY_PATH"] = BrokenClientDir();
  options.args = {"-qec", "'" + FbwarmBinary() + "' '/DB:" + db + "'", "/dev/null"};
  ProcessResult on_tty = RunProcess("/usr/bin/script", options);
  const std::string& tty = on_tty.out;
  const size_t start = tty.find("Natives FileCache Start...");
  std::smatch progress;
  ASSERT_TRUE(std::regex_search(
      tty, progress, std::regex("\rfbwarm: Dateicache: [0-9]+ % \\([0-9.]+ MB von 629.1 MB\\)")))
      << tty;
  const size_t drawn = static_cast<size_t>(progress.position(0));
  const size_t residency = tty.find("fbwarm: Dateicache: 629.1 MB von 629.1 MB im Cache");
  const size_t done = tty.find("Natives FileCache Fertig.");
  ASSERT_NE(start, std::string::npos) << tty;
  ASSERT_NE(residency, std::string::npos) << tty;
  EXPECT_LT(start, drawn);
  EXPECT_LT(drawn, residency);
  EXPECT_LT(residency, done);
  // The last redraw is wiped with blanks before the residency line is written over it.
  const std::string before_line = tty.substr(0, residency);
  const size_t last_cr = before_line.rfind('\r');
  ASSERT_NE(last_cr, std::string::npos);
  EXPECT_EQ(before_line.substr(last_cr + 1), "") << "the progress line was not cleared";
  EXPECT_NE(before_line.find("   \r"), std::string::npos);
}

TEST(OperatorReporting, ALogOfBothStreamsKeepsTheirOrder) {
  ScopedTempDir dir;
  const std::string db = dir / "db.fdb";
  WriteDataFile(db, 1 << 20);
  ProcessOptions options;
  options.stdout_path = dir / "log";  // a file: standard output is buffered there
  options.shell_prefix = "exec 2>&1;";
  ProcessResult r = RunWithoutClient({"/DB:" + db}, options);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  const std::string log = ReadFileBytes(dir / "log");
  const size_t start = log.find("Natives FileCache Start...\r\n");
  const size_t residency = log.find("fbwarm: Dateicache: ");
  const size_t done = log.find("Natives FileCache Fertig.\r\n");
  ASSERT_NE(start, std::string::npos) << log;
  ASSERT_NE(residency, std::string::npos) << log;
  EXPECT_LT(start, residency) << log;
  EXPECT_LT(residency, done) << log;
  // The library's line stands right before the error line it explains.
  const size_t library = log.find("fbwarm: Die Firebird-Clientbibliothek ");
  ASSERT_NE(library, std::string::npos) << log;
  EXPECT_LT(done, library) << log;
  EXPECT_EQ(log.find("\n", library) + 1, log.find("FEHLER ")) << log;
  // Standard output's own bytes are those of a run without standard error.
  std::string out = log;
  out.erase(library, out.find('\n', library) + 1 - library);
  const size_t line_end = out.find('\n', residency);
  out.erase(residency, line_end + 1 - residency);
  EXPECT_EQ(out, CrLfLines(kReadThenNoClient));
}

TEST(OperatorReporting, SkipCachedReadsNothingOfACachedFileAndLeavesStandardOutputAsItIs) {
  ScopedTempDir dir;
  const std::string db = dir / "db.fdb";
  WriteDataFile(db, 3 << 20);
  const PinnedInCache held(db);
  ASSERT_EQ(held.Failure(), "");
  ProcessResult first = RunWithoutClient({"/DB:" + db});
  ProcessResult second = RunWithoutClient({"/DB:" + db, "/SKIPCACHED"});
  EXPECT_EQ(second.out, first.out);
  EXPECT_EQ(second.out, CrLfLines(kReadThenNoClient));
  const std::vector<std::string> lines = ErrorLinesBeforeTheLibrary(second.err);
  ASSERT_EQ(lines.size(), 1u) << second.err;
  EXPECT_TRUE(std::regex_match(
      lines[0], std::regex("fbwarm: Dateicache: 3.1 MB von 3.1 MB im Cache \\(100 %\\), vorher "
                           "100 %; gelesen 0 B in [0-9.]+ s \\([^)]*\\), 3.1 MB schon im Cache "
                           "und uebersprungen")))
      << second.err;
}
