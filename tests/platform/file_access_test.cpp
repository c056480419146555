// What the read-through tells the operator about a file it cannot read: the system's reason,
// the owner and mode, the directory that may not be searched; and skipping ahead without reading.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/files.h"
#include "tests/support/temp_dir.h"

namespace {

std::u16string U16(const std::string& path) { return std::u16string(path.begin(), path.end()); }

}  // namespace

TEST(FileAccess, SkipMovesOnWithoutReadingAndFailuresKeepTheSystemsReason) {
  ScopedTempDir dir;
  WriteFileBytes(dir / "db.fdb", "abcdefgh");
  SequentialFile file(U16(dir / "db.fdb"));
  ASSERT_TRUE(file.IsOpen());
  EXPECT_EQ(file.Size(), 8u);
  EXPECT_TRUE(file.Skip(3));
  char buffer[8] = {};
  ASSERT_EQ(file.Read(buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "defgh");
  EXPECT_TRUE(file.FailureReason().empty());

  SequentialFile missing(U16(dir / "missing.fdb"));
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(missing.FailureReason(), u"No such file or directory");
  EXPECT_FALSE(missing.Skip(1));
  // Something without an end is left alone on purpose: no failure to report.
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  SequentialFile fifo(U16(dir / "fifo"));
  EXPECT_FALSE(fifo.IsOpen());
  EXPECT_TRUE(fifo.FailureReason().empty());
}

TEST(FileAccess, OwnerAndModeOfAFile) {
  ScopedTempDir dir;
  WriteFileBytes(dir / "db.fdb", "x");
  chmod((dir / "db.fdb").c_str(), 0640);
  const FileOwnership ownership = DescribeOwnership(U16(dir / "db.fdb"));
  EXPECT_EQ(ownership.mode, 0640);
  EXPECT_FALSE(ownership.owner.empty());
  EXPECT_EQ(DescribeOwnership(U16(dir / "missing")).mode, -1);
}

TEST(FileAccess, TheFirstDirectoryAnotherUserMayNotSearchIsNamed) {
  if (geteuid() != 0) GTEST_SKIP() << "switching to another user needs root";
  ScopedTempDir dir("/tmp");
  chmod(dir.path().c_str(), 0755);
  std::filesystem::create_directories(dir / "open/closed/inner");
  chmod((dir / "open/closed").c_str(), 0700);
  struct Case {
    std::string path, expected;
  } cases[] = {
      {dir / "open/closed/inner/db.fdb", dir / "open/closed"},
      {dir / "open/closed/db.fdb", dir / "open/closed"},
      {dir / "open/db.fdb", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const pid_t child = fork();
    if (child == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
      _exit(FirstUnsearchableDirectory(U16(c.path)) == U16(c.expected) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: another directory named, 2: setuid failed";
  }
  // Root may search everything.
  EXPECT_EQ(FirstUnsearchableDirectory(U16(cases[0].path)), u"");
}
