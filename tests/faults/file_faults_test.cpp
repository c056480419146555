// Database files the read-through cannot read as a file: unreadable for the user, a FIFO or a
// device in the file's place, and a file that shrinks while it is read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "tests/faults/fault_checks.h"
#include "tests/support/temp_dir.h"

namespace {

ProcessResult RunWithoutClient(std::vector<std::string> args, ProcessOptions options = {}) {
  options.args = std::move(args);
  options.env["LD_LIBRARY_PATH"] = BrokenClientDir();
  options.timeout_seconds = 30;
  return RunProcess(FbwarmBinary(), options);
}

std::vector<std::string> ReadThroughThenNoClient() { return {kReadThrough[0], kReadThrough[1]}; }

}  // namespace

TEST(FileFaults, AFileTheUserMayNotReadIsSkippedWithAWarning) {
  // Under /tmp, not TMPDIR: the user of the run must reach the copies wherever the checkout is.
  ScopedTempDir dir("/tmp");
  const OtherUserCopy copy = CopyForOtherUser(dir.path());
  if (!copy.skip_reason.empty()) GTEST_SKIP() << copy.skip_reason;
  WriteFileBytes(dir / "locked.fdb", std::string(100000, 'x'));
  chmod((dir / "locked.fdb").c_str(), 0);
  std::filesystem::create_directory(dir / "closed");
  WriteFileBytes(dir / "closed/db.fdb", "x");
  chmod((dir / "closed").c_str(), 0700);

  ProcessOptions as_nobody;
  as_nobody.wrapper = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"};
  as_nobody.env["LD_LIBRARY_PATH"] = copy.broken_client_dir;
  as_nobody.timeout_seconds = 30;
  auto run = [&](const std::string& db) {
    as_nobody.args = {"/DB:" + db};
    return RunProcess(copy.binary, as_nobody);
  };
  // Visible but not readable: the local file test passes, the open fails, standard error says
  // why and what to do.
  ExpectLinesThenError(run(dir / "locked.fdb"), ReadThroughThenNoClient(), kLibraryMissing,
                       ErrorLines{"fbwarm: WARNUNG: Die Datenbankdatei " + dir / "locked.fdb" +
                                  " kann nicht gelesen werden: Permission "
                                  "denied \\(Eigentuemer root, Modus 0000\\)\\. Der Dateicache "
                                  "wurde nicht gefuellt; fbwarm als Benutzer des Servers oder als "
                                  "root starten, oder diesem Benutzer das Leserecht geben\\."});
  // Inside a directory the user may not search: no local file at all for standard output, and
  // standard error names the directory.
  ExpectLinesThenError(run(dir / "closed/db.fdb"), {kNotLocal}, kLibraryMissing,
                       ErrorLines{"fbwarm: WARNUNG: Der Pfad " + dir / "closed/db.fdb" +
                                  " ist vielleicht lokal, kann aber nicht erreicht werden: das "
                                  "Verzeichnis " +
                                  dir / "closed" +
                                  " darf von diesem Benutzer "
                                  "nicht durchsucht werden\\. .*"});
}

TEST(FileFaults, AFifoOrACharacterDeviceIsNotReadThrough) {
  ScopedTempDir dir;
  ASSERT_EQ(mkfifo((dir / "fifo.fdb").c_str(), 0600), 0);
  // A FIFO without a writer would block the open for ever, /dev/zero would never end.
  for (std::string path : {dir / "fifo.fdb", std::string("/dev/zero"), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    const auto start = std::chrono::steady_clock::now();
    // Nothing was opened and nothing failed: no residency line, no warning.
    ExpectLinesThenError(RunWithoutClient({"/DB:" + path}), ReadThroughThenNoClient(),
                         kLibraryMissing, ErrorLines{});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
}

TEST(FileFaults, AFileThatShrinksWhileItIsReadEndsTheReadThroughAtItsNewEnd) {
  ScopedTempDir dir;
  const std::string db = dir / "shrinking.fdb";
  // Sparse: 32 GiB of holes take seconds to read and no disk space.
  constexpr off_t kSize = off_t(32) << 30;
  WriteFileBytes(db, "");
  ASSERT_EQ(truncate(db.c_str(), kSize), 0);
  const std::string mark = dir / "truncated-at";
  // A second process watches the tool's descriptor of the file and cuts the file to one page
  // as soon as the read-through has begun. It notes the read position it saw before cutting:
  // once cut, the tool may end before the watcher runs again, and nobody waits for the watcher.
  ProcessOptions options;
  options.shell_prefix =
      "db='" + db + "'; mark='" + mark + "'; tool=$$; (" +
      "while :; do for fd in /proc/$tool/fd/*; do "
      "  if [ \"$(readlink \"$fd\")\" = \"$db\" ]; then "
      "    pos=$(sed -n 's/^pos:[[:space:]]*//p' \"/proc/$tool/fdinfo/${fd##*/}\"); "
      "    if [ \"${pos:-0}\" -gt 0 ]; then echo \"$pos\" >\"$mark\"; truncate -s 4096 \"$db\"; "
      "      exit 0; fi; "
      "  fi; done; "
      "  kill -0 $tool 2>/dev/null || exit 0; "
      "done) >/dev/null 2>&1 & ";
  const auto start = std::chrono::steady_clock::now();
  ProcessResult run = RunWithoutClient({"/DB:" + db}, options);
  const auto took = std::chrono::steady_clock::now() - start;

  ExpectLinesThenError(run, ReadThroughThenNoClient(), kLibraryMissing,
                       ErrorLines{kMaybeMemoryWarning.substr(1), kResidencyLine});
  const std::string position = ReadFileBytes(mark);
  ASSERT_FALSE(position.empty()) << "the file was not cut while the tool read it";
  EXPECT_LT(std::stoll(position), kSize);
  EXPECT_EQ(std::filesystem::file_size(db), 4096u);
  EXPECT_LT(took, std::chrono::seconds(20));
}
