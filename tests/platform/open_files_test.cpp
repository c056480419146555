// How another process opened a file, from /proc/PID/fdinfo: read-write and O_DIRECT.
#include "platform/open_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "tests/support/temp_dir.h"

namespace {

std::u16string U16(const std::string& path) { return std::u16string(path.begin(), path.end()); }

// A child process that holds the file open with flags until it is killed.
class Holder {
 public:
  Holder(const std::string& path, int flags) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      const int fd = open(path.c_str(), flags);
      (void)!write(ready[1], fd >= 0 ? "y" : "n", 1);
      pause();
      _exit(0);
    }
    close(ready[1]);
    char answer = 'n';
    opened_ = read(ready[0], &answer, 1) == 1 && answer == 'y';
    close(ready[0]);
  }
  ~Holder() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_t pid() const { return pid_; }
  bool opened() const { return opened_; }

 private:
  pid_t pid_ = -1;
  bool opened_ = false;
};

}  // namespace

TEST(OpenFiles, ShowsHowEachOtherProcessOpenedTheFileButNotThisOne) {
  ScopedTempDir dir;
  const std::string path = dir / "db.fdb";
  WriteFileBytes(path, std::string(8192, 'x'));
  int own = open(path.c_str(), O_RDWR);  // this process's own descriptor never counts
  EXPECT_TRUE(FindForeignOpenings(U16(path)).empty());
  close(own);  // the holders would inherit it

  Holder reader(path, O_RDONLY);
  Holder writer(path, O_RDWR);
  Holder direct(path, O_RDWR | O_DIRECT);
  ASSERT_TRUE(reader.opened() && writer.opened());
  if (!direct.opened()) GTEST_SKIP() << "this file system refuses O_DIRECT: " << dir.path();
  own = open(path.c_str(), O_RDWR);
  std::vector<ForeignOpening> found = FindForeignOpenings(U16(path));
  std::sort(found.begin(), found.end(), [](auto& a, auto& b) { return a.pid < b.pid; });
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].pid, reader.pid());
  EXPECT_FALSE(found[0].writable);
  EXPECT_FALSE(found[0].direct);
  EXPECT_EQ(found[1].pid, writer.pid());
  EXPECT_TRUE(found[1].writable);
  EXPECT_FALSE(found[1].direct);
  EXPECT_EQ(found[2].pid, direct.pid());
  EXPECT_TRUE(found[2].writable);
  EXPECT_TRUE(found[2].direct);
  EXPECT_TRUE(FindForeignOpenings(U16(dir / "other")).empty());
  close(own);
}
