// fbwarm-check as a scheduler runs it: its exit status for each way a run of fbwarm ends (the
// real fbwarm over the stand-in client library, and stand-in programs for what breaks), its
// output equal to fbwarm's, its own lines after fbwarm's, the arguments handed on, the password
// hidden from its own command line, its status lines to systemd, and instances taking turns.
#include "tests/check/check_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <thread>

namespace {

struct Pair {
  ProcessResult direct;  // fbwarm alone
  ProcessResult helper;  // fbwarm-check with the same arguments
};

ProcessOptions StandinOptions(const ScopedTempDir& dir, const std::vector<std::string>& args,
                              const std::string& script) {
  WriteFileBytes(dir / "script", script);
  ProcessOptions options;
  options.args = args;
  options.env["LD_LIBRARY_PATH"] = StandinDir();
  options.env["FBWARM_STANDIN_SCRIPT"] = dir / "script";
  options.stdin_bytes = "\n";
  return options;
}

Pair RunBoth(const std::vector<std::string>& args, const std::string& script) {
  ScopedTempDir dir;
  const ProcessOptions options = StandinOptions(dir, args, script);
  return Pair{RunProcess(FbwarmBinary(), options), RunProcess(CheckBinary(), options)};
}

const std::string kServerDown =
    "attach fail -902 335544721\n"
    "message Unable to complete network request to host \"127.0.0.1\".\n"
    "message Failed to establish a connection.\n";

// The figures of the residency line and the run's time change from run to run.
std::string MaskedFigures(const std::string& text) {
  std::string masked =
      std::regex_replace(text, std::regex("Dateicache: [^\n]*"), "Dateicache: ...");
  masked = std::regex_replace(masked, std::regex("nach [0-9.]+ (m?s)"), "nach MS $1");
  return std::regex_replace(masked, std::regex("dauerte nur [0-9]+ ms"), "dauerte nur MS ms");
}

}  // namespace

TEST(CheckStatus, EachWayARunEndsHasItsStatusAndTheOutputStaysFbwarms) {
  ScopedTempDir files;
  const std::string db = files / "local.fdb";
  WriteFileBytes(db, std::string(5000, 'x'));
  const std::vector<std::string> local = {"/DB:" + db, "/USER:SYSDBA", "/PASSWORD:pw"};
  const std::vector<std::string> remote = {"/DB:/srv/db/none.fdb", "/USER:SYSDBA", "/PASSWORD:pw"};
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string script;
    int status;
    std::vector<std::string> helper_lines;  // the milliseconds as MS
  } cases[] = {
      {"finished", local, "line a\npause 2100\nline b\n", 0, {}},
      {"complete but under 2000 ms",
       local,
       "line a\n",
       4,
       {"fbwarm: fbwarm-check: Bericht vollstaendig, aber schon nach MS ms, unter 2000 ms: die "
        "Datenbank lag wohl schon im Cache; kein Fehler (Status 4).",
        "fbwarm: fbwarm-check:   FEHLER Fehler aufgetreten"}},
      {"server not listening",
       remote,
       kServerDown,
       3,
       {"fbwarm: fbwarm-check: Lauf fehlgeschlagen nach MS s (Firebird-Fehler 335544721); das "
        "kann von selbst vergehen, ein neuer Versuch kann helfen (Status 3):",
        "fbwarm: fbwarm-check:   FEHLER Unable to complete network request to host "
        "\"127.0.0.1\".",
        "fbwarm: fbwarm-check:   Failed to establish a connection"}},
      {"server shut down during the report",
       remote,
       "line a\nquery fail -901 335544528\nmessage database shutdown\n",
       3,
       {"fbwarm: fbwarm-check: Lauf fehlgeschlagen nach MS s (Firebird-Fehler 335544528); das "
        "kann von selbst vergehen, ein neuer Versuch kann helfen (Status 3):",
        "fbwarm: fbwarm-check:   FEHLER database shutdown"}},
      {"wrong password",
       local,
       "attach fail -902 335544472\nmessage Your user name and password are not defined.\n",
       1,
       {"fbwarm: fbwarm-check: Lauf fehlgeschlagen nach MS s (Firebird-Fehler 335544472); ein "
        "neuer Versuch hilft nicht, erst die Ursache beheben (Status 1):",
        "fbwarm: fbwarm-check:   FEHLER Your user name and password are not defined"}},
      {"parameter missing",
       {"/DB:" + db},
       "",
       1,
       {"fbwarm: fbwarm-check: Lauf fehlgeschlagen nach MS s; ein neuer Versuch hilft nicht, "
        "erst die Ursache beheben (Status 1):",
        "fbwarm: fbwarm-check:   FEHLER Parameter USER fehler"}},
      {"parameter too long",
       {"/USER:" + std::string(256, 'u')},
       "",
       1,
       {"fbwarm: fbwarm-check: Lauf fehlgeschlagen nach MS s; ein neuer Versuch hilft nicht, "
        "erst die Ursache beheben (Status 1):",
        "fbwarm: fbwarm-check:   FEHLER Parameter USER zu lang"}},
      {"help",
       {"?"},
       "",
       1,
       {"fbwarm: fbwarm-check: fbwarm zeigte nur den Hilfetext und waermte nichts (Status 1)."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Pair run = RunBoth(c.args, c.script);
    EXPECT_EQ(run.helper.exit_code, c.status);
    EXPECT_EQ(run.direct.exit_code, 0) << run.direct.err;
    // Byte for byte what fbwarm printed, and on standard error fbwarm's lines first.
    EXPECT_EQ(run.helper.out, run.direct.out);
    const std::string direct_err = MaskedFigures(run.direct.err);
    const std::string helper_err = MaskedFigures(run.helper.err);
    ASSERT_EQ(helper_err.substr(0, direct_err.size()), direct_err);
    EXPECT_EQ(SplitAt(helper_err.substr(direct_err.size()), "\n"), c.helper_lines);
  }
}

TEST(CheckStatus, WhatBreaksIsStatusTwoWithTheReason) {
  const struct {
    const char* name;
    std::string script;  // the stand-in fbwarm's body
    std::string line;    // the helper's line after "fbwarm: fbwarm-check: PATH "
  } cases[] = {
      {"killed", "kill -9 $$\n", "endete durch Signal 9 (Status 2)."},
      {"standard output failed", "echo 'fbwarm: E/A-Fehler' >&2; exit 1\n",
       "endete mit Exit-Status 1 (Status 2)."},
      {"no records", "echo 'Fertig! (DB=x)'\n",
       "schrieb keinen Ergebnisdatensatz, den ich lesen kann (Status 2)."},
      {"records of another version",
       "printf 'fbwarm-record 2\\nresult finished 3000 0\\n' >&$FBWARM_RESULT_FD\n",
       "schrieb keinen Ergebnisdatensatz, den ich lesen kann (Status 2)."},
      {"records cut off", "printf 'fbwarm-record 1\\nserver\\n' >&$FBWARM_RESULT_FD\n",
       "endete ohne Ergebnisdatensatz (Status 2)."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    const std::string helper = CheckBesideScript(dir, c.script);
    const ProcessResult r = RunProcess(helper);
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_EQ(HelperLines(r.err),
              std::vector<std::string>{"fbwarm: fbwarm-check: " + dir / "fbwarm" + " " + c.line});
  }
  // No fbwarm beside the helper at all.
  ScopedTempDir dir;
  const std::string helper = CheckBesideScript(dir, "");
  std::filesystem::remove(dir / "fbwarm");
  const ProcessResult r = RunProcess(helper);
  EXPECT_EQ(r.exit_code, 2) << r.err;
  EXPECT_EQ(HelperLines(r.err),
            std::vector<std::string>{"fbwarm: fbwarm-check: " + dir / "fbwarm" +
                                     " konnte nicht gestartet werden: Systemfehler.  "
                                     "Code: 2. No such file or directory "
                                     "(Status 2)."});
}

TEST(CheckProcess, ArgumentsReachFbwarmUnchangedWhileTheHelpersOwnListHidesThePassword) {
  ScopedTempDir dir;
  // The stand-in fbwarm keeps its arguments and reads the helper's command line while the
  // helper waits for it.
  const std::string helper = CheckBesideScript(
      dir,
      "printf '%s\\0' \"$@\" >\"$(dirname \"$0\")/args\"\n"
      "cat /proc/$PPID/cmdline >\"$(dirname \"$0\")/helper-cmdline\"\n"
      "printf 'fbwarm-record 1\\nresult finished 3000 0\\n' >&$FBWARM_RESULT_FD\n");
  const std::vector<std::string> args = {
      "/DB:/data/my db.fdb", "", "/PASSWORD:a$b\"c*", "-password=s3cret", "caf\xc3\xa9 \xff", "?"};
  ProcessOptions options;
  options.args = args;
  const ProcessResult r = RunProcess(helper, options);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::string expected;
  for (const std::string& a : args) expected += a + '\0';
  EXPECT_EQ(ReadFileBytes(dir / "args"), expected);
  const std::string cmdline = ReadFileBytes(dir / "helper-cmdline");
  EXPECT_EQ(cmdline.find("a$b"), std::string::npos) << cmdline;
  EXPECT_EQ(cmdline.find("s3cret"), std::string::npos) << cmdline;
  EXPECT_NE(cmdline.find(std::string("/PASSWORD:XXXXXX") + '\0'), std::string::npos);
  EXPECT_NE(cmdline.find(std::string("-password=XXXXXX") + '\0'), std::string::npos);
  EXPECT_NE(cmdline.find(std::string("/DB:/data/my db.fdb") + '\0'), std::string::npos);
}

TEST(CheckProcess, ALogOfBothStreamsKeepsTheirOrderWithTheHelpersLinesLast) {
  ScopedTempDir files;
  const std::string db = files / "local.fdb";
  WriteFileBytes(db, std::string(5000, 'x'));
  // Each run alike: the order of the two streams once broke in most runs.
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    ScopedTempDir dir;
    ProcessOptions options =
        StandinOptions(dir, {"/DB:" + db, "/USER:SYSDBA", "/PASSWORD:pw"}, kServerDown);
    options.shell_prefix = "exec >'" + dir / "log" + "' 2>&1;";
    const ProcessResult r = RunProcess(CheckBinary(), options);
    EXPECT_EQ(r.exit_code, 3) << r.err;
    std::vector<std::string> lines = SplitAt(ReadFileBytes(dir / "log"), "\n");
    for (std::string& line : lines) line = MaskedFigures(line);
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "Natives FileCache Start...\r",
                  "fbwarm: Dateicache: ...",
                  "Natives FileCache Fertig.\r",
                  "FEHLER Unable to complete network request to host \"127.0.0.1\".\r",
                  "Failed to establish a connection\r",
                  "fbwarm: fbwarm-check: Lauf fehlgeschlagen nach MS s (Firebird-Fehler "
                  "335544721); das kann von selbst vergehen, ein neuer Versuch kann helfen "
                  "(Status 3):",
                  "fbwarm: fbwarm-check:   FEHLER Unable to complete network request to host "
                  "\"127.0.0.1\".",
                  "fbwarm: fbwarm-check:   Failed to establish a connection",
              }));
  }
}

namespace {

// A socket in the place of systemd's, collecting what the helper sends it.
class NotifySocket {
 public:
  explicit NotifySocket(const std::string& path) : path_(path) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  ~NotifySocket() { close(fd_); }
  const std::string& path() const { return path_; }

  // The next message; waits up to the guard's time for one (a guard, not a measurement).
  std::string Next(int guard_seconds = 60) {
    timeval timeout{guard_seconds, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    char buffer[4096];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
  }
  // Every message that has arrived.
  std::vector<std::string> All() {
    std::vector<std::string> messages;
    for (std::string m; !(m = Next(1)).empty();) messages.push_back(m);
    return messages;
  }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace

TEST(CheckProcess, ProgressGoesToSystemdAsStatusLinesAndTheLastOneStays) {
  ScopedTempDir files;
  const std::string db = files / "local.fdb";
  WriteFileBytes(db, std::string(5000, 'x'));
  ScopedTempDir dir;
  NotifySocket systemd(dir / "notify");
  ProcessOptions options =
      StandinOptions(dir, {"/DB:" + db, "/USER:SYSDBA", "/PASSWORD:pw"}, kServerDown);
  options.env["NOTIFY_SOCKET"] = systemd.path();
  const ProcessResult r = RunProcess(CheckBinary(), options);
  EXPECT_EQ(r.exit_code, 3) << r.err;
  std::vector<std::string> messages = systemd.All();
  // The rate and the time left appear once a millisecond has passed.
  for (std::string& m : messages)
    m = std::regex_replace(m, std::regex(", [^,]*/s, noch \\d+ s"), "");
  EXPECT_EQ(
      messages,
      (std::vector<std::string>{
          "STATUS=Dateicache: 100 % (5.0 KB von 5.0 KB)",
          "STATUS=Statistiklauf: der Server liest die Datenseiten und die Blattseiten der Indexe",
          "STATUS=Fehlgeschlagen, neuer Versuch kann helfen: FEHLER Unable to "
          "complete network request to host \"127.0.0.1\".",
      }));
  // Without a socket nothing is sent, and the run is the same.
  options.env["NOTIFY_SOCKET"] = std::nullopt;
  const ProcessResult unsocketed = RunProcess(CheckBinary(), options);
  EXPECT_EQ(unsocketed.exit_code, 3) << unsocketed.err;
  EXPECT_TRUE(systemd.All().empty());
}

TEST(CheckProcess, RunsInTheSameRuntimeDirectoryTakeTurns) {
  ScopedTempDir dir;
  NotifySocket systemd(dir / "notify");
  const std::string helper = CheckBesideScript(
      dir,
      "touch \"$(dirname \"$0\")/started\"\n"
      "printf 'fbwarm-record 1\\nresult finished 3000 0\\n' >&$FBWARM_RESULT_FD\n");
  std::filesystem::create_directory(dir / "run");
  // Another run holds the turn.
  const int other = open((dir / "run/warm.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(flock(other, LOCK_EX), 0);
  ProcessOptions options;
  options.env["RUNTIME_DIRECTORY"] = dir / "run";
  options.env["NOTIFY_SOCKET"] = systemd.path();
  ProcessResult r;
  std::thread run([&] { r = RunProcess(helper, options); });
  // The helper says it waits; until the turn is free, fbwarm does not start.
  EXPECT_EQ(systemd.Next(), "STATUS=Wartet, bis ein anderer Lauf von fbwarm endet");
  EXPECT_FALSE(std::filesystem::exists(dir / "started"));
  close(other);
  run.join();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "started"));
  EXPECT_EQ(systemd.All(), std::vector<std::string>{"STATUS=Fertig nach 3.0 s"});

  // Outside systemd (no runtime directory) there is no lock and no waiting.
  ScopedTempDir plain;
  const std::string alone = CheckBesideScript(
      plain, "printf 'fbwarm-record 1\\nresult finished 3000 0\\n' >&$FBWARM_RESULT_FD\n");
  const ProcessResult outside = RunProcess(alone);
  EXPECT_EQ(outside.exit_code, 0) << outside.err;
  EXPECT_FALSE(std::filesystem::exists(plain / "warm.lock"));
}
