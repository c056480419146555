// The warning that the local server bypasses the file cache, against the real server: a test
// database of its own gets page buffers above FileSystemCacheThreshold with gfix, then back.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "platform/open_files.h"
#include "tests/support/firebird.h"
#include "tests/tool/fbwarm_process.h"

namespace {

// Suites run in parallel: this database is nobody else's.
const std::string kDb = "/var/lib/fbwarm/cache-bypass-test.fdb";

const std::string kWarning =
    "fbwarm: WARNUNG: Der Server umgeht fuer diese Datenbank den Dateicache des Systems, das Lesen "
    "der Datei waermt nichts, was er nutzt. Quelle: Page buffers 70000 im Kopf des Berichts, "
    "FileSystemCacheThreshold 65536 (/etc/firebird/3.0/firebird.conf)";

bool SetBuffers(int pages) {
  return FirebirdShell("gfix -buffers " + std::to_string(pages) +
                       " -user SYSDBA -password \"$(fb_password)\" 127.0.0.1:" + kDb)
      .has_value();
}

ProcessResult RunFbwarm() {
  ProcessOptions options;
  options.args = {"/DB:" + kDb, "/USER:SYSDBA", "/PASSWORD:" + FirebirdPassword()};
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

// An isql attachment held open in the background, so the server keeps its own read-write
// descriptor of the database, opened under the page buffers as they are now.
class HeldAttachment {
 public:
  HeldAttachment() {
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      const std::string command = "sleep 60 | isql-fb -q -user SYSDBA -password '" +
                                  FirebirdPassword() + "' 127.0.0.1:" + kDb;
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
      if (ServerHoldsItForWriting()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

 private:
  static bool ServerHoldsItForWriting() {
    for (const ForeignOpening& o : FindForeignOpenings(std::u16string(kDb.begin(), kDb.end())))
      if (o.writable) return true;
    return false;
  }
  pid_t pid_;
};

}  // namespace

TEST(CacheBypassServer, WarnsFromTheConfigurationConfirmsByTheDescriptorAndStopsWhenSetBack) {
  SKIP_WITHOUT_REAL_SERVER();
  ASSERT_TRUE(FirebirdShell("'" FBWARM_SOURCE_DIR "/scripts/make-database' --size-mb 20 " + kDb))
      << "scripts/make-database failed";
  ASSERT_TRUE(SetBuffers(70000));

  // From the configuration alone: nobody else has the database open.
  ProcessResult alone = RunFbwarm();
  ASSERT_EQ(SplitCrLf(alone.out).front(), "Natives FileCache Start...");
  EXPECT_EQ(SplitCrLf(alone.out).back(), "FEHLER Fehler aufgetreten");  // 20 MB: too fast
  ASSERT_EQ(BypassLines(alone.err).size(), 1u) << alone.err;
  EXPECT_EQ(BypassLines(alone.err)[0],
            kWarning +
                ". Abhilfe: die Page buffers der Datenbank (gfix -buffers) unter "
                "FileSystemCacheThreshold setzen oder den Schwellwert erhoehen.");
  // Printed after the report: the residency line comes first.
  EXPECT_LT(alone.err.find("fbwarm: Dateicache: "), alone.err.find("umgeht"));

  {
    HeldAttachment held;
    ASSERT_TRUE(held.Open()) << "the isql attachment did not open the database";
    ProcessResult confirmed = RunFbwarm();
    EXPECT_EQ(SplitCrLf(confirmed.out).size(), SplitCrLf(alone.out).size());
    ASSERT_EQ(BypassLines(confirmed.err).size(), 1u) << confirmed.err;
    EXPECT_NE(BypassLines(confirmed.err)[0].find(kWarning + "; bestaetigt durch /proc/"),
              std::string::npos)
        << confirmed.err;
    EXPECT_NE(BypassLines(confirmed.err)[0].find("/fdinfo (Datei mit O_DIRECT geoeffnet)"),
              std::string::npos);
  }

  ASSERT_TRUE(SetBuffers(0));
  ProcessResult back = RunFbwarm();
  EXPECT_TRUE(BypassLines(back.err).empty()) << back.err;
  EXPECT_NE(back.err.find("fbwarm: Dateicache: "), std::string::npos) << back.err;
  {
    HeldAttachment held;
    ASSERT_TRUE(held.Open());
    EXPECT_TRUE(BypassLines(RunFbwarm().err).empty());
  }
}
