// The bypass verdict against the real server, on a copy of the small database of its own that
// gets page buffers above FileSystemCacheThreshold with gfix (about 570 MB of server memory
// while the database is open: one such database, held open as briefly as can be).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "platform/open_files.h"
#include "platform/running_processes.h"
#include "platform/text_encoding.h"
#include "tests/support/firebird.h"
#include "tests/tool/fbwarm_process.h"
#include "tool/server_process.h"

namespace {

// A copy of the server's small database in a directory of its own, removed afterwards. Suites
// run in parallel: this database is nobody else's.
class ScratchDatabase {
 public:
  explicit ScratchDatabase(const FirebirdServer& server = kFirebird3, const std::string& name = "")
      : server_(server),
        dir_(FirebirdShell("echo \"$FBWARM_DB_DIR\"", server).value_or("/nonexistent") +
             "/scratch-cache-bypass-" + std::to_string(getpid()) + name),
        path_(dir_ + "/db.fdb") {
    made_ = FirebirdShell("install -d -o firebird -g firebird -m 0770 '" + dir_ +
                              "' && install -o firebird -g firebird -m 0660 '" +
                              StandardDatabase("small", server) + "' '" + path_ + "'",
                          server)
                .has_value();
  }
  ~ScratchDatabase() { std::filesystem::remove_all(dir_); }
  bool made() const { return made_; }
  const std::string& path() const { return path_; }
  const FirebirdServer& server() const { return server_; }

 private:
  const FirebirdServer& server_;
  std::string dir_, path_;
  bool made_ = false;
};

bool SetBuffers(const std::string& db, int pages, const FirebirdServer& server = kFirebird3) {
  return FirebirdShell("fb_tool gfix -buffers " + std::to_string(pages) +
                           " -user SYSDBA -password \"$(fb_password)\" " + server.Connect(db),
                       server)
      .has_value();
}

// wrapper runs fbwarm (setpriv to take capabilities away).
ProcessResult RunFbwarm(const std::string& db, std::vector<std::string> wrapper = {},
                        const FirebirdServer& server = kFirebird3) {
  ProcessOptions options;
  options.args = {"/DB:" + db, "/USER:SYSDBA", "/PASSWORD:" + FirebirdPassword(server)};
  for (const std::string& arg : server.ServerArgs()) options.args.push_back(arg);
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
// with the cache it opened it with. It ends by the end of its input, so isql detaches: a killed
// client's attachment would keep the database open until the server noticed.
class HeldAttachment {
 public:
  explicit HeldAttachment(const std::string& db, const FirebirdServer& server = kFirebird3)
      : db_(db) {
    int input[2], output[2];
    if (pipe(input) != 0) return;
    if (pipe(output) != 0) {
      close(input[0]);
      close(input[1]);
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      dup2(input[0], 0);
      dup2(output[1], 1);
      for (int fd : {input[0], input[1], output[0], output[1]}) close(fd);
      const std::string command = "exec isql-fb -q -user SYSDBA -password '" +
                                  FirebirdPassword(server) + "' " + server.Connect(db) +
                                  " 2>/dev/null";
      execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
      _exit(127);
    }
    close(input[0]);
    close(output[1]);
    input_ = input[1];
    output_ = output[0];
  }
  ~HeldAttachment() {
    if (input_ >= 0) close(input_);
    if (output_ >= 0) close(output_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  // Waits until the attachment answers a query: the server has opened the database and set
  // its descriptor up (Firebird 4 changes the descriptor's flags after opening the file).
  bool Ready() const {
    constexpr char kQuery[] = "select 'fbwarm-ready' from rdb$database;\n";
    if (input_ < 0 || write(input_, kQuery, sizeof kQuery - 1) < 0) return false;
    std::string seen;
    char chunk[256];
    while (seen.find("fbwarm-ready") == std::string::npos) {
      const ssize_t got = read(output_, chunk, sizeof chunk);
      if (got <= 0) return false;
      seen.append(chunk, static_cast<size_t>(got));
    }
    return true;
  }
  // Waits until some process holds the file open for writing.
  bool Open() const { return WritableOpening().has_value(); }
  // That opening, once the attachment is ready.
  std::optional<ForeignOpening> WritableOpening() const {
    if (!Ready()) return std::nullopt;
    for (const ForeignOpening& o : FindForeignOpenings(FromNarrow(db_)))
      if (o.writable) return o;
    return std::nullopt;
  }

 private:
  std::string db_;
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
};

// Waits until no process holds the file open for writing: the server has closed the database.
bool Closed(const std::string& db) {
  for (int i = 0; i < 100; ++i) {
    bool open = false;
    for (const ForeignOpening& o : FindForeignOpenings(FromNarrow(db))) open |= o.writable;
    if (!open) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

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

namespace {

// A block of settings for one database in the Firebird 4 server's databases.conf, taken out
// again at the end. The server rereads the file when it changes.
class DatabaseSettings {
 public:
  DatabaseSettings(const FirebirdServer& server, const std::string& db)
      : file_(FirebirdShell("echo \"$FB_ALIASES_FILE\"", server).value_or("")),
        db_(db),
        begin_("# fbwarm test " + std::to_string(getpid()) + " begin"),
        end_("# fbwarm test " + std::to_string(getpid()) + " end") {}
  ~DatabaseSettings() { Set(""); }

  // The alias the entry gives the database.
  std::string Alias() const { return "fbwarm_bypass_test_" + std::to_string(getpid()); }

  // The block's lines; the empty text leaves no entry for the database. Blocks that killed
  // runs left behind go too.
  bool Set(const std::string& settings) {
    std::ifstream in(file_);
    if (!in) return false;
    std::string text, line;
    bool dropping = false;
    while (std::getline(in, line)) {
      int pid = 0;
      if (std::sscanf(line.c_str(), "# fbwarm test %d begin", &pid) == 1)
        dropping = pid == getpid() || kill(pid, 0) != 0;
      if (!dropping) text += line + "\n";
      if (dropping && line.rfind("# fbwarm test ", 0) == 0 &&
          line.find(" end") != std::string::npos)
        dropping = false;
    }
    if (!settings.empty())
      text += begin_ + "\n" + Alias() + " = " + db_ + "\n{\n" + settings + "\n}\n" + end_ + "\n";
    const time_t before = WholeSecondsOfChange();
    {
      std::ofstream out(file_, std::ios::trunc);
      if (!(out << text)) return false;
    }
    return MarkChangedAfter(before);
  }

 private:
  time_t WholeSecondsOfChange() const {
    struct stat st {};
    return stat(file_.c_str(), &st) == 0 ? st.st_mtim.tv_sec : 0;
  }

  // Firebird 4.0 notices a changed file by its time of change in whole seconds: a second
  // change within the second of the first would go unseen, so each change is dated a second
  // after the one before.
  bool MarkChangedAfter(time_t before) const {
    if (WholeSecondsOfChange() > before) return true;
    const struct timespec times[2] = {{0, UTIME_OMIT}, {before + 1, 0}};
    return utimensat(AT_FDCWD, file_.c_str(), times, 0) == 0;
  }

  std::string file_, db_, begin_, end_;
};

// The server's effective UseFileSystemCache for db, as RDB$CONFIG shows it: "true <false>" is
// the value and whether it is set.
std::string EffectiveUseFileSystemCache(const FirebirdServer& server, const std::string& db) {
  return FirebirdShell(
             "echo \"select trim(rdb\\$config_value) || ' ' || iif(rdb\\$config_is_set, "
             "'set', 'unset') from rdb\\$config where rdb\\$config_name = "
             "'UseFileSystemCache';\" | fb_tool isql-fb -q -user SYSDBA -password "
             "\"$(fb_password)\" " +
                 server.Connect(db) + " | grep -Eo '(true|false) (set|unset)'",
             server)
      .value_or("");
}

// Waits until the server has reread its configuration for db.
bool ServerSees(const FirebirdServer& server, const std::string& db, const std::string& effective) {
  for (int i = 0; i < 50; ++i) {
    if (EffectiveUseFileSystemCache(server, db) == effective) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return false;
}

}  // namespace

// Firebird 4 decides by UseFileSystemCache when it is set, per database in databases.conf too,
// and by the threshold when it is not; the tool takes both from RDB$CONFIG. Each verdict is
// held against the open flags of the server's own descriptor, looked at by the test.
TEST(CacheBypassFirebird4, TheVerdictFollowsTheSettingWhenSetAndTheThresholdOtherwise) {
  SKIP_WITHOUT_SERVER(kFirebird4);
  const struct {
    const char* what;
    const char* setting;  // the block's line in databases.conf, or none
    const char* effective;
    int buffers;
    bool direct;
    const char* grounds;  // part of the bypass line, when there is one
  } cases[] = {
      {"set off for this database", "UseFileSystemCache = false", "false set", 0, true,
       "UseFileSystemCache = false (laut RDB$CONFIG aus "},
      {"set on, buffers above the threshold", "UseFileSystemCache = true", "true set", 70000, false,
       nullptr},
      {"unset, buffers above the threshold", "", "true unset", 70000, true,
       "FileSystemCacheThreshold 65536 (laut RDB$CONFIG Voreinstellung)"},
      {"unset, buffers below the threshold", "", "true unset", 0, false, nullptr},
  };
  int number = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // A database of its own for each case, first opened under that case's settings.
    ScratchDatabase db(kFirebird4, "-" + std::to_string(++number));
    ASSERT_TRUE(db.made()) << "the copy of Firebird 4's small database could not be made";
    DatabaseSettings settings(kFirebird4, db.path());
    ASSERT_TRUE(settings.Set(c.setting));
    ASSERT_TRUE(SetBuffers(db.path(), c.buffers, kFirebird4));
    ASSERT_TRUE(ServerSees(kFirebird4, db.path(), c.effective))
        << "the server did not take up the setting: "
        << EffectiveUseFileSystemCache(kFirebird4, db.path());
    ASSERT_TRUE(Closed(db.path())) << "the server still holds the database open";
    {
      HeldAttachment held(db.path(), kFirebird4);
      const std::optional<ForeignOpening> opening = held.WritableOpening();
      ASSERT_TRUE(opening.has_value()) << "the isql attachment did not open the database";
      EXPECT_EQ(opening->direct, c.direct) << "the server's own open flags";
    }
    ASSERT_TRUE(Closed(db.path())) << "the server still holds the database open";
    const ProcessResult r = RunFbwarm(db.path(), {}, kFirebird4);
    const std::vector<std::string> lines = BypassLines(r.err);
    if (!c.grounds) {
      EXPECT_TRUE(lines.empty()) << r.err;
    } else {
      ASSERT_EQ(lines.size(), 1u) << r.err;
      EXPECT_NE(lines[0].find(c.grounds), std::string::npos) << lines[0];
      EXPECT_NE(lines[0].find("(Datei mit O_DIRECT geoeffnet)"), std::string::npos) << lines[0];
    }
    ASSERT_EQ(SplitCrLf(r.out).front(), "Natives FileCache Start...");
    EXPECT_EQ(SplitCrLf(r.out).back(), "FEHLER Fehler aufgetreten");  // 11 MB: too fast
  }
}

// An alias of the local server's databases.conf is read through as the file it stands for,
// while the server is still given the alias (its report names the file). The Firebird 4
// server runs in a root of its own, so its configuration and the file are reached through it.
TEST(DatabaseAlias, TheLocalServersAliasIsReadThroughAndTheServerGetsTheAlias) {
  SKIP_WITHOUT_SERVER(kFirebird4);
  ScratchDatabase db(kFirebird4, "-alias");
  ASSERT_TRUE(db.made()) << "the copy of Firebird 4's small database could not be made";
  DatabaseSettings settings(kFirebird4, db.path());
  ASSERT_TRUE(settings.Set("# nothing but the alias"));
  // The server rereads databases.conf when it notices the change: wait until the alias attaches.
  bool known = false;
  for (int i = 0; i < 50 && !known; ++i) {
    known = !EffectiveUseFileSystemCache(kFirebird4, settings.Alias()).empty();
    if (!known) std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_TRUE(known) << "the server did not take up the alias";
  const ProcessResult r = RunFbwarm(settings.Alias(), {}, kFirebird4);
  const std::vector<std::string> lines = SplitCrLf(r.out);
  ASSERT_GE(lines.size(), 4u) << r.out << r.err;
  EXPECT_EQ(lines[0], "Natives FileCache Start...");
  EXPECT_EQ(lines[1], "Natives FileCache Fertig.");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Database \"" + db.path() + "\" "), lines.end())
      << r.out;
  EXPECT_EQ(lines.back(), "FEHLER Fehler aufgetreten");  // 11 MB: too fast
  EXPECT_NE(r.err.find("fbwarm: " + settings.Alias() + " ist laut "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(" ein Alias fuer die Datei "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(" im Cache (100 %)"), std::string::npos) << r.err;
  EXPECT_EQ(r.exit_code, 0) << r.err;
}
