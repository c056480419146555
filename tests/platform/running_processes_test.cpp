// The process table: read from a directory laid out like /proc (names, arguments, the root
// link), and from the real /proc, where a child shows up with what it was started with.
#include "platform/running_processes.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/proc_table_posix.h"
#include "tests/support/temp_dir.h"

namespace {

const RunningProcess* Find(const std::vector<RunningProcess>& table, int pid) {
  const auto found = std::find_if(table.begin(), table.end(),
                                  [&](const RunningProcess& p) { return p.pid == pid; });
  return found == table.end() ? nullptr : &*found;
}

void Entry(const ScopedTempDir& proc, const std::string& pid, const std::string& comm,
           const std::string& cmdline) {
  std::filesystem::create_directories(proc / pid);
  WriteFileBytes(proc / (pid + "/comm"), comm);
  WriteFileBytes(proc / (pid + "/cmdline"), cmdline);
}

}  // namespace

TEST(RunningProcesses, AProcTableGivesNamesArgumentsAndForeignRoots) {
  ScopedTempDir proc;
  ScopedTempDir jail;
  Entry(proc, "12", "firebird\n", std::string("/usr/sbin/firebird\0", 19));
  Entry(proc, "34", "firebird\n",
        std::string("/usr/lib/firebird/4.0/bin/firebird\0-p\0003051\0", 43));
  std::filesystem::create_directory_symlink(jail.path(), proc / "34/root");
  std::filesystem::create_directory_symlink("/", proc / "12/root");
  Entry(proc, "56", "kworker/0:1\n", "");            // a kernel thread: no arguments
  std::filesystem::create_directories(proc / "78");  // gone while being read
  WriteFileBytes(proc / "78/comm", "sleep\n");
  // Exited between opening its cmdline and reading it: the read fails (ESRCH in /proc; a
  // directory in its place fails alike, with EISDIR).
  std::filesystem::create_directories(proc / "90/cmdline");
  WriteFileBytes(proc / "90/comm", "sh\n");
  Entry(proc, "self", "x\n", std::string("x\0", 2));  // not a process
  std::filesystem::create_directories(proc / "sys");

  const std::vector<RunningProcess> table = ReadProcTable(proc.path());
  ASSERT_EQ(table.size(), 3u);
  const RunningProcess* debian = Find(table, 12);
  ASSERT_NE(debian, nullptr);
  EXPECT_EQ(debian->name, "firebird");
  EXPECT_EQ(debian->arguments, std::vector<std::string>{"/usr/sbin/firebird"});
  EXPECT_EQ(debian->root, "");  // the same root as ours
  const RunningProcess* jailed = Find(table, 34);
  ASSERT_NE(jailed, nullptr);
  EXPECT_EQ(jailed->arguments,
            (std::vector<std::string>{"/usr/lib/firebird/4.0/bin/firebird", "-p", "3051"}));
  EXPECT_EQ(jailed->root, proc / "34/root");
  const RunningProcess* thread = Find(table, 56);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(thread->name, "kworker/0:1");
  EXPECT_TRUE(thread->arguments.empty());
  EXPECT_TRUE(ReadProcTable(proc / "none").empty());
}

TEST(RunningProcesses, AChildShowsUpWithItsArgumentsAndThisProcessDoesNot) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(ready[0]);
    dup2(ready[1], 1);
    execlp("sh", "sh", "-c", "echo go; exec sleep 60", nullptr);
    _exit(127);
  }
  close(ready[1]);
  char go[3];
  ASSERT_EQ(read(ready[0], go, 3), 3);  // the shell runs; its exec of sleep follows at once
  close(ready[0]);
  std::vector<RunningProcess> table;
  const RunningProcess* found = nullptr;
  for (int i = 0; i < 100 && (!found || found->name != "sleep"); ++i) {
    usleep(20000);
    table = RunningProcesses();
    found = Find(table, child);
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->name, "sleep");
  EXPECT_EQ(found->arguments, (std::vector<std::string>{"sleep", "60"}));
  EXPECT_EQ(found->root, "");
  EXPECT_EQ(Find(table, getpid()), nullptr);
}
