// The local Firebird server failing the tool: stopped before the run, and killed while the
// tool reads the report. Both stop the shared server, so ctest runs them under the resource
// lock "firebird"; the server is brought back however a test ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "tests/faults/fault_checks.h"
#include "tests/support/firebird.h"

namespace {

using namespace std::chrono_literals;

ProcessResult RunScript(const std::string& name) {
  ProcessOptions options;
  options.timeout_seconds = 120;
  return RunProcess(std::string(FBWARM_SOURCE_DIR) + "/scripts/" + name, options);
}

bool ServerAnswers() { return FirebirdShell("fb_port_open && fb_service_answers").has_value(); }

// The server process that fbguard runs, from its pid file; 0 when there is none.
pid_t ServerPid() {
  std::ifstream pid_file("/run/firebird3.0/firebird.pid");
  pid_t pid = 0;
  if (!(pid_file >> pid) || pid <= 0) return 0;
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  return (comm >> name) && name == "firebird" ? pid : 0;
}

// How far the server has read the file through its descriptor of it; -1 while it has none.
long long ServerReadPosition(pid_t pid, const std::string& file) {
  const std::string proc = "/proc/" + std::to_string(pid);
  std::error_code error;
  for (const auto& fd : std::filesystem::directory_iterator(proc + "/fd", error)) {
    if (std::filesystem::read_symlink(fd.path(), error) != file) continue;
    std::ifstream info(proc + "/fdinfo/" + fd.path().filename().string());
    std::string key;
    long long pos = -1;
    if (info >> key >> pos && key == "pos:") return pos;
  }
  return -1;
}

// Brings the server back when the test ends, also after a failed assertion: first waits for
// fbguard to restart a killed server, then starts it with scripts/firebird-up if needed.
class ServerRestorer {
 public:
  explicit ServerRestorer(bool guard_restarts) : guard_restarts_(guard_restarts) {}
  ~ServerRestorer() {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (guard_restarts_ && !ServerAnswers() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(500ms);
    const ProcessResult up = RunScript("firebird-up");
    EXPECT_EQ(up.exit_code, 0) << "the server did not come back: " << up.err;
  }

 private:
  bool guard_restarts_;
};

class ServerFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_REAL_SERVER();
    if (geteuid() != 0) GTEST_SKIP() << "stopping and restarting the server needs root";
  }

  static ProcessOptions Options(const std::string& db) {
    ProcessOptions options;
    options.args = {"/DB:" + db, "/USER:SYSDBA", "/PASSWORD:" + FirebirdPassword()};
    options.timeout_seconds = 120;
    return options;
  }
};

}  // namespace

TEST_F(ServerFaults, AServerStoppedBeforeTheRunIsOneErrorLineAfterTheReadThrough) {
  const std::string db = StandardDatabase("small");
  ServerRestorer restore(false);
  ASSERT_EQ(RunScript("firebird-down").exit_code, 0);
  ASSERT_FALSE(ServerAnswers());

  ProcessResult run = RunProcess(FbwarmBinary(), Options(db));
  ExpectLinesThenError(run, kReadThrough,
                       "FEHLER Unable to complete network request to host \"127.0.0.1\".\r\n"
                       "Failed to establish a connection");
}

TEST_F(ServerFaults, AServerKilledWhileTheReportIsReadIsOneErrorLineAfterTheFirstLines) {
  const std::string db = StandardDatabase("large");
  const pid_t server = ServerPid();
  ASSERT_NE(server, 0) << "no server process in /run/firebird3.0/firebird.pid";
  ServerRestorer restore(true);

  auto running =
      std::async(std::launch::async, [&] { return RunProcess(FbwarmBinary(), Options(db)); });
  // The report's first lines come before the pages are read and the rest after all of them:
  // kill once the statistics action is well into the pages.
  bool killed = false;
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (running.wait_for(10ms) != std::future_status::ready &&
         std::chrono::steady_clock::now() < deadline) {
    if (ServerReadPosition(server, db) > (64LL << 20)) {
      ASSERT_EQ(kill(server, SIGKILL), 0);
      killed = true;
      break;
    }
  }
  const ProcessResult run = running.get();
  ASSERT_TRUE(killed) << "the report ended before the server could be killed:\n" << run.out;

  // The first lines of the report, up to the point where the pages are read, then the client
  // library's message about the lost connection.
  ExpectOneErrorLineAtTheEnd(run, "FEHLER Error reading data from the connection",
                             {kMaybeMemoryWarning, kResidencyLine});
  const std::vector<std::string> lines = SplitCrLf(run.out);
  ASSERT_GE(lines.size(), 4u) << run.out;
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 2), kReadThrough);
  // The server sends its lines in buffers: on a loaded machine the kill can come before fbwarm
  // has fetched the last of the first lines. What it printed ends, at the latest, with the line
  // that comes before the pages' part: nothing of that part, which the kill cut off.
  const auto analyzing = std::find(lines.begin(), lines.end(), "Analyzing database pages ... ");
  if (analyzing != lines.end()) {
    EXPECT_EQ(analyzing - lines.begin(), static_cast<long>(lines.size()) - 2) << run.out;
  }
}
