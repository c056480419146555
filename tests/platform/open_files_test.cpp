// How another process opened a file, from /proc/PID/fdinfo: read-write and O_DIRECT; and
// that a process whose descriptors cannot be read is told apart from one that holds nothing.
#include "platform/open_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

// Runs check in a child that has become user nobody and returns its exit status. With
// read_search it keeps CAP_DAC_READ_SEARCH and CAP_FOWNER, as the boot unit grants them: it may
// then list another user's /proc/PID/fd, but not follow the links there.
template <class Check>
int AsNobody(bool read_search, Check check) {
  const pid_t child = fork();
  if (child == 0) {
    if (prctl(PR_SET_KEEPCAPS, 1) != 0) _exit(99);
    if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(99);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (read_search) {
      data[0].effective = data[0].permitted = (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
    }
    if (syscall(SYS_capset, &header, data) != 0) _exit(99);
    _exit(check());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

TEST(OpenFiles, OneProcesssOpeningsAreNothingWhenItsDescriptorsCannotBeRead) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to hold a file as another user";
  ScopedTempDir dir;
  const std::string path = dir / "db.fdb";
  WriteFileBytes(path, std::string(8192, 'x'));
  chmod(dir.path().c_str(), 0755);
  chmod(path.c_str(), 0644);
  Holder holder(path, O_RDWR);
  ASSERT_TRUE(holder.opened());

  const auto held = OpeningsByProcess(holder.pid(), U16(path));
  ASSERT_TRUE(held.has_value());
  ASSERT_EQ(held->size(), 1u);
  EXPECT_TRUE((*held)[0].writable);
  EXPECT_EQ((*held)[0].pid, holder.pid());
  const auto other_file = OpeningsByProcess(holder.pid(), U16(dir / "missing"));
  ASSERT_TRUE(other_file.has_value());  // readable, and it holds no such file
  EXPECT_TRUE(other_file->empty());

  // Another user may see that root's process exists, but not what it holds.
  const std::string fd_dir = "/proc/" + std::to_string(holder.pid()) + "/fd";
  for (bool read_search : {false, true}) {
    SCOPED_TRACE(read_search ? "with CAP_DAC_READ_SEARCH" : "without capabilities");
    const int seen = AsNobody(read_search, [&] {
      DIR* listed = opendir(fd_dir.c_str());
      if (listed) closedir(listed);
      if (read_search && !listed) return 2;  // not the unit's case
      return OpeningsByProcess(holder.pid(), U16(path)).has_value() ? 1 : 0;
    });
    EXPECT_EQ(seen, 0) << "nobody was told what root's process holds";
  }

  pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  EXPECT_FALSE(OpeningsByProcess(gone, U16(path)).has_value());
}
