// The scripts that stop and start the Firebird 4 server in its root, against the faults CI
// leaves behind: processes killed with their mounts still in place, and a pid file that no longer
// names the Firebird 4 server. They stop the Firebird 4 server, so ctest runs them under the
// resource lock "firebird"; both servers are brought back however a test ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/firebird.h"
#include "tests/support/tool_output.h"

namespace {

using namespace std::chrono_literals;

ProcessResult RunScript(const FirebirdServer& server, const std::string& name) {
  ProcessOptions options;
  options.env["FB_VERSION"] = std::to_string(server.version);
  options.timeout_seconds = 300;
  return RunProcess(std::string(FBWARM_SOURCE_DIR) + "/scripts/" + name, options);
}

bool Answers(const FirebirdServer& server) {
  return FirebirdShell("fb_port_open && fb_service_answers", server).has_value();
}

std::string Fb4(const std::string& variable) {
  return FirebirdShell("echo \"$" + variable + "\"", kFirebird4).value_or("");
}

// A running server's process id as its own pid file names it; 0 when none runs.
pid_t ServerPid(const FirebirdServer& server) {
  return std::stoi(FirebirdShell("fb_server_pid || echo 0", server).value_or("0"));
}

// The mount points at or below dir, from this process's mount table.
std::vector<std::string> MountsBelow(const std::string& dir) {
  std::vector<std::string> found;
  std::ifstream table("/proc/self/mounts");
  std::string device, target, rest;
  while (table >> device >> target && std::getline(table, rest))
    if (target == dir || target.rfind(dir + "/", 0) == 0) found.push_back(target);
  return found;
}

// Brings both servers back when the test ends, also after a failed assertion.
class ServersRestorer {
 public:
  ~ServersRestorer() {
    for (const FirebirdServer& server : FirebirdServers()) {
      const ProcessResult up = RunScript(server, "firebird-up");
      EXPECT_EQ(up.exit_code, 0) << server.Name() << " did not come back: " << up.err;
    }
  }
};

class Firebird4Scripts : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_SERVER(kFirebird3);
    SKIP_WITHOUT_SERVER(kFirebird4);
    if (geteuid() != 0) GTEST_SKIP() << "stopping and starting the servers needs root";
    root_ = Fb4("FB_ROOT");
    db_dir_ = Fb4("FBWARM_DB_DIR");
    ASSERT_FALSE(root_.empty());
    firebird3_ = ServerPid(kFirebird3);
    ASSERT_NE(firebird3_, 0) << "no pid of the Firebird 3 server";
  }

  // What a running Firebird 4 server has mounted in its root: /proc and the databases.
  std::vector<std::string> RunningMounts() const { return {root_ + db_dir_, root_ + "/proc"}; }

  // The Firebird 3 server was not disturbed: the same process still answers.
  void ExpectFirebird3Untouched() const {
    EXPECT_EQ(ServerPid(kFirebird3), firebird3_);
    EXPECT_TRUE(Answers(kFirebird3));
  }

  std::string root_;
  std::string db_dir_;
  pid_t firebird3_ = 0;
};

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace

TEST_F(Firebird4Scripts, StopUndoesTheMountsAndStartFindsThoseOfAKilledServer) {
  ServersRestorer restorer;
  EXPECT_EQ(Sorted(MountsBelow(root_)), Sorted(RunningMounts()));

  const ProcessResult down = RunScript(kFirebird4, "firebird-down");
  ASSERT_EQ(down.exit_code, 0) << down.err;
  EXPECT_FALSE(FirebirdShell("fb_port_open", kFirebird4).has_value());
  EXPECT_TRUE(MountsBelow(root_).empty());
  ExpectFirebird3Untouched();

  ProcessResult up = RunScript(kFirebird4, "firebird-up");
  ASSERT_EQ(up.exit_code, 0) << up.err;
  EXPECT_TRUE(Answers(kFirebird4));
  EXPECT_EQ(Sorted(MountsBelow(root_)), Sorted(RunningMounts()));
  EXPECT_EQ(up.err.find("stale"), std::string::npos) << up.err;

  // Ended as CI ends what it left running: the guard and the server killed, the mounts kept.
  const pid_t server = ServerPid(kFirebird4);
  ASSERT_NE(server, 0);
  const std::string guard = FirebirdShell("ps -o ppid= -p " + std::to_string(server)).value_or("");
  ASSERT_EQ(kill(std::stoi(guard), SIGKILL), 0);
  ASSERT_EQ(kill(server, SIGKILL), 0);
  for (int i = 0; i < 100 && kill(server, 0) == 0; ++i) std::this_thread::sleep_for(100ms);
  ASSERT_EQ(Sorted(MountsBelow(root_)), Sorted(RunningMounts()));

  up = RunScript(kFirebird4, "firebird-up");
  ASSERT_EQ(up.exit_code, 0) << up.err;
  EXPECT_NE(up.err.find("firebird4-root: undoing stale mounts: "), std::string::npos) << up.err;
  EXPECT_TRUE(Answers(kFirebird4));
  // Mounted once again, not stacked on the stale ones.
  EXPECT_EQ(Sorted(MountsBelow(root_)), Sorted(RunningMounts()));
  ExpectFirebird3Untouched();
}

TEST_F(Firebird4Scripts, APidFileThatNamesTheFirebird3ServerStopsNothing) {
  ServersRestorer restorer;
  const ProcessResult down = RunScript(kFirebird4, "firebird-down");
  ASSERT_EQ(down.exit_code, 0) << down.err;

  // A stale pid file whose number now belongs to a Firebird server, but not to this root's.
  const std::string pid_file = Fb4("FB_PID_FILE");
  std::ofstream(pid_file) << firebird3_ << "\n";
  const ProcessResult again = RunScript(kFirebird4, "firebird-down");
  EXPECT_EQ(again.exit_code, 0) << again.err;
  EXPECT_NE(again.err.find("is not running"), std::string::npos) << again.err;
  std::this_thread::sleep_for(1s);  // a stopped server would be going by now
  ExpectFirebird3Untouched();
}
