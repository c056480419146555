// The bypass verdict against the real server, on a copy of the small database of its own that
// gets page buffers above FileSystemCacheThreshold with gfix (about 570 MB of server memory
// while the database is open: one such database, held open as briefly as can be).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/open_files.h"
#include "platform/running_processes.h"
#include "platform/text_encoding.h"
#include "tests/support/firebird.h"
#include "tests/tool/fbwarm_process.h"
#include "tool/server_process.h"

namespace {

// A copy of the small database in a directory of its own, removed afterwards. Suites run in
// parallel: this database is nobody else's.
class ScratchDatabase {
 public:
  ScratchDatabase()
      : dir_("/var/lib/fbwarm/scratch-cache-bypass-" + std::to_string(getpid())),
        path_(dir_ + "/db.fdb") {
    made_ = FirebirdShell("install -d -o firebird -g firebird -m 0770 '" + dir_ +
                          "' && install -o firebird -g firebird -m 0660 '" +
                          StandardDatabase("small") + "' '" + path_ + "'")
                .has_value();
  }
  ~ScratchDatabase() { std::filesystem::remove_all(dir_); }
  bool made() const { return made_; }
  const std::string& path() const { return path_; }

 private:
  std::string dir_, path_;
  bool made_ = false;
};

bool SetBuffers(const std::string& db, int pages) {
  return FirebirdShell("gfix -buffers " + std::to_string(pages) +
                       " -user SYSDBA -password \"$(fb_password)\" 127.0.0.1:" + db)
      .has_value();
}

// wrapper runs fbwarm (setpriv to take capabilities away).
ProcessResult RunFbwarm(const std::string& db, std::vector<std::string> wrapper = {}) {
  ProcessOptions options;
  options.args = {"/DB:" + db, "/USER:SYSDBA", "/PASSWORD:" + FirebirdPassword()};
  options.wrapper = std::move(wrapper);
  options.timeout_seconds = 120;
  return RunProcess(FbwarmBinary(), options);
}

// The lines of standard error that are about the bypass.
std::vector<std::string> BypassLines(const std::string& err) {
  std::vector<std::string> found;
  for (const std::string& line : SplitAt(err, "\n"))
    if (line.find("umgeht") != std::string::npos) found.push_back(line);
  return found;
}

// Report lines that change from run to run, and the header's page buffers, which the test
// itself changes.
std::vector<std::string> Comparable(const std::string& out) {
  std::vector<std::string> lines = SplitCrLf(out);
  lines.erase(
      std::remove_if(lines.begin(), lines.end(),
                     [](const std::string& line) {
                       for (const char* prefix :
                            {"Gstat execution time", "Gstat completion time", "\tGeneration",
                             "\tOldest transaction", "\tOldest active", "\tOldest snapshot",
                             "\tNext transaction", "\tNext attachment ID", "\tPage buffers"})
                         if (line.rfind(prefix, 0) == 0) return true;
                       return false;
                     }),
      lines.end());
  return lines;
}

// An isql attachment held open in the background, so the server keeps the database open
// with the cache it opened it with.
class HeldAttachment {
 public:
  explicit HeldAttachment(const std::string& db) : db_(db) {
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      const std::string command = "sleep 60 | isql-fb -q -user SYSDBA -password '" +
                                  FirebirdPassword() + "' 127.0.0.1:" + db;
      execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
      _exit(127);
    }
  }
  ~HeldAttachment() {
    kill(-pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  // Waits until some process holds the file open for writing.
  bool Open() const {
    for (int i = 0; i < 100; ++i) {
      for (const ForeignOpening& o : FindForeignOpenings(FromNarrow(db_)))
        if (o.writable) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

 private:
  std::string db_;
  pid_t pid_;
};

// The server process serving 127.0.0.1:3050, found the way the tool finds it.
std::optional<ServerInstance> LocalServer() {
  const FileAccess files{[](const std::string& path, std::string& text) {
                           std::ifstream in(path);
                           if (!in) return false;
                           text.assign(std::istreambuf_iterator<char>(in), {});
                           return true;
                         },
                         [](const std::string& path) { return std::filesystem::exists(path); }};
  return ServerForPort(FirebirdServers(RunningProcesses(), files), 3050);
}

std::string Comm(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

class CacheBypassServer : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_REAL_SERVER(); }
};

}  // namespace

TEST_F(CacheBypassServer, TheProcessServingThePortIsFoundWithItsConfiguration) {
  const std::optional<ServerInstance> server = LocalServer();
  ASSERT_TRUE(server.has_value()) << "no server process found for port 3050";
  EXPECT_EQ(Comm(server->pid), "firebird");
  // It is the process that listens: it holds the socket of 127.0.0.1:3050.
  const std::optional<std::string> listener =
      FirebirdShell("ss -Hltnp 'sport = :3050' | grep -o 'pid=[0-9]*' | head -1 | cut -d= -f2");
  ASSERT_TRUE(listener.has_value());
  EXPECT_EQ(*listener, std::to_string(server->pid));
  EXPECT_EQ(server->binary, "/usr/sbin/firebird");
  EXPECT_EQ(server->config_dir, "/etc/firebird/3.0");
  EXPECT_EQ(server->port, 3050);
}

TEST_F(CacheBypassServer, TheServerTellsTheBuffersTheDescriptorConfirmsAndStandardOutputStays) {
  ScratchDatabase db;
  ASSERT_TRUE(db.made()) << "the copy of the small database could not be made";
  const std::optional<ServerInstance> server = LocalServer();
  ASSERT_TRUE(server.has_value());
  const std::string pid = std::to_string(server->pid);
  const ProcessResult plain = RunFbwarm(db.path());
  EXPECT_TRUE(BypassLines(plain.err).empty()) << plain.err;
  ASSERT_EQ(SplitCrLf(plain.out).front(), "Natives FileCache Start...");
  EXPECT_EQ(SplitCrLf(plain.out).back(), "FEHLER Fehler aufgetreten");  // 11 MB: too fast

  ASSERT_TRUE(SetBuffers(db.path(), 70000));
  const std::string inputs =
      "Grundlage: Page buffers 70000 in Kraft (vom Server, isc_info_num_buffers, SuperServer; im "
      "Kopf der Datenbank gesetzt), FileSystemCacheThreshold 65536 (Voreinstellung), "
      "Serverprozess " +
      pid + " (/usr/sbin/firebird, Port 3050, Konfiguration /etc/firebird/3.0); ";
  const std::string remedy =
      ". Abhilfe: die Page buffers der Datenbank (gfix -buffers) unter "
      "FileSystemCacheThreshold setzen oder den Schwellwert erhoehen.";
  const std::string warning =
      "fbwarm: WARNUNG: Der Server umgeht fuer diese Datenbank den Dateicache des Systems, das "
      "Lesen der Datei waermt nichts, was er nutzt. ";

  // Root sees the server's descriptor, opened for the tool's own attachment.
  const ProcessResult root = RunFbwarm(db.path());
  ASSERT_EQ(BypassLines(root.err).size(), 1u) << root.err;
  EXPECT_EQ(BypassLines(root.err)[0], warning + inputs + "bestaetigt durch /proc/" + pid +
                                          "/fdinfo (Datei mit O_DIRECT geoeffnet)" + remedy);
  EXPECT_LT(root.err.find("fbwarm: Dateicache: "), root.err.find("umgeht"));

  // With the boot unit's capabilities the descriptor cannot be looked at.
  const ProcessResult unit =
      RunFbwarm(db.path(), {"setpriv", "--bounding-set=-all,+dac_read_search,+fowner", "--"});
  ASSERT_EQ(BypassLines(unit.err).size(), 1u) << unit.err;
  EXPECT_EQ(BypassLines(unit.err)[0],
            warning + inputs + "nicht bestaetigt: die Dateideskriptoren des Serverprozesses " +
                pid +
                " sind fuer diesen Benutzer nicht lesbar (dazu braucht es root oder "
                "CAP_SYS_PTRACE)" +
                remedy);

  for (const ProcessResult* r : {&root, &unit}) {
    EXPECT_EQ(Comparable(r->out), Comparable(plain.out));
    EXPECT_EQ(r->exit_code, plain.exit_code);
  }

  ASSERT_TRUE(SetBuffers(db.path(), 0));
  const ProcessResult back = RunFbwarm(db.path());
  EXPECT_TRUE(BypassLines(back.err).empty()) << back.err;
  EXPECT_EQ(Comparable(back.out), Comparable(plain.out));
}

// The server keeps the cache it opened the database with: new page buffers in the header
// count from the next opening, and the verdict follows what the server has in effect.
TEST_F(CacheBypassServer, NewBuffersCountFromTheNextOpening) {
  ScratchDatabase db;
  ASSERT_TRUE(db.made());
  {
    HeldAttachment held(db.path());
    ASSERT_TRUE(held.Open()) << "the isql attachment did not open the database";
    ASSERT_TRUE(SetBuffers(db.path(), 70000));
    const ProcessResult open = RunFbwarm(db.path());
    EXPECT_TRUE(BypassLines(open.err).empty()) << open.err;
  }
  // The held attachment has gone: the tool's own attachment opens it under the new setting.
  const ProcessResult reopened = RunFbwarm(db.path());
  ASSERT_EQ(BypassLines(reopened.err).size(), 1u) << reopened.err;
  EXPECT_NE(BypassLines(reopened.err)[0].find("(Datei mit O_DIRECT geoeffnet)"), std::string::npos);
  ASSERT_TRUE(SetBuffers(db.path(), 0));
}
