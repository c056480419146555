// The password while fbwarm runs: hidden from the process list, and a warning when the
// parameter file that holds it is readable by other users.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/temp_dir.h"
#include "tests/tool/fbwarm_process.h"

namespace {

// Starts fbwarm in help mode, which waits for Enter, reads its /proc/<pid>/cmdline once the
// help text is out, then lets it end.
std::string CommandLineWhileRunning(const std::vector<std::string>& args) {
  ScopedTempDir dir;
  const std::string out_path = dir / "out";
  const std::string binary = FbwarmBinary();
  const std::string client_dir = BrokenClientDir();
  signal(SIGPIPE, SIG_IGN);  // should the child be gone, the write below must not end us
  int in_pipe[2];
  if (pipe(in_pipe) != 0) return "pipe failed";
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in_pipe[0], 0);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    close(in_pipe[1]);
    std::vector<char*> argv = {const_cast<char*>(binary.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    setenv("LD_LIBRARY_PATH", client_dir.c_str(), 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(in_pipe[0]);
  for (int i = 0; i < 500 && ReadFileBytes(out_path).find("Enter") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::string cmdline = ReadFileBytes("/proc/" + std::to_string(pid) + "/cmdline");
  (void)!write(in_pipe[1], "\n", 1);
  close(in_pipe[1]);
  waitpid(pid, nullptr, 0);
  return cmdline;
}

std::string NulJoined(const std::vector<std::string>& parts) {
  std::string out;
  for (const auto& p : parts) out += p + '\0';
  return out;
}

}  // namespace

TEST(Password, IsOverwrittenInTheProcessListOnceTheParametersAreRead) {
  const std::string cmdline =
      CommandLineWhileRunning({"?", "/DB:/srv/db.fdb", "/PASSWORD:geheim", "/password:ab",
                               "-PASSWORD=x", "/PASSWORDS:y", "/USER:PASSWORD:z"});
  EXPECT_EQ(cmdline,
            NulJoined({FbwarmBinary(), "?", "/DB:/srv/db.fdb", "/PASSWORD:XXXXXX", "/password:XX",
                       "-PASSWORD=X", "/PASSWORDS:y", "/USER:PASSWORD:z"}));
}

TEST(Password, AParameterFileReadableByOthersIsWarnedAbout) {
  ScopedTempDir dir;
  std::filesystem::copy_file(FbwarmBinary(), dir / "fbwarm");
  struct Case {
    std::string content;
    mode_t mode;
    bool warns;
  } cases[] = {
      {"[STARTPARAMS]\n/PASSWORD:geheim\n", 0644, true},
      {"[STARTPARAMS]\n/PASSWORD:geheim\n", 0640, true},
      {"[STARTPARAMS]\n/PASSWORD:geheim\n", 0600, false},
      {"[STARTPARAMS]\n/USER:SYSDBA\n", 0644, false},
      {"[OTHER]\n/PASSWORD:geheim\n", 0644, false},  // not a parameter: nothing to protect
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content + std::to_string(c.mode));
    WriteFileBytes(dir / "fbwarm.INI", c.content);
    chmod((dir / "fbwarm.INI").c_str(), c.mode);
    ProcessOptions options;
    options.args = {"?"};
    ProcessResult r = RunProcess(dir / "fbwarm", options);
    EXPECT_EQ(r.err.find("WARNUNG") != std::string::npos, c.warns) << r.err;
    EXPECT_EQ(SplitCrLf(r.out).front(), "Parameter:");  // standard output is untouched
  }
}
