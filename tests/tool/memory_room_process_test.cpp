// The memory warning as the built binary gives it inside real memory cgroups (v1, as on this
// host): the room is the group's limit less what it holds besides file cache, whatever part of
// the file is already cached elsewhere. The rule over v2 files is tested on fixtures
// (tests/platform/cache_memory_test.cpp).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>

#include "tests/support/page_cache.h"
#include "tests/support/temp_dir.h"
#include "tests/tool/fbwarm_process.h"

namespace {

constexpr uint64_t kMiB = 1 << 20;
const std::string kV1Memory = "/sys/fs/cgroup/memory";

// This process's group in the v1 memory hierarchy, or empty.
std::string OwnV1MemoryGroup() {
  std::ifstream cgroups("/proc/self/cgroup");
  std::string line;
  while (std::getline(cgroups, line)) {
    const size_t first = line.find(':'), second = line.find(':', first + 1);
    if (second == std::string::npos) continue;
    if (("," + line.substr(first + 1, second - first - 1) + ",").find(",memory,") !=
        std::string::npos)
      return line.substr(second + 1);
  }
  return "";
}

// A v1 memory cgroup below this process's own, removed again when it goes (its processes must
// have ended by then).
class ScopedMemoryGroup {
 public:
  explicit ScopedMemoryGroup(std::optional<uint64_t> limit) {
    const std::string parent = OwnV1MemoryGroup();
    if (geteuid() != 0 || parent.empty() || !std::filesystem::exists(kV1Memory + parent)) return;
    name_ = (parent == "/" ? "" : parent) + "/fbwarm-room-" + std::to_string(getpid());
    if (!std::filesystem::create_directory(kV1Memory + name_)) return;
    if (limit) std::ofstream(Dir() + "/memory.limit_in_bytes") << *limit;
    ready_ = true;
  }
  ~ScopedMemoryGroup() {
    if (!name_.empty()) rmdir(Dir().c_str());
  }
  bool Ready() const { return ready_; }
  const std::string& Name() const { return name_; }
  std::string Dir() const { return kV1Memory + name_; }
  // The shell command that moves the running shell (and what it execs) into the group.
  std::string Enter() const { return "echo $$ >'" + Dir() + "/cgroup.procs';"; }

 private:
  std::string name_;
  bool ready_ = false;
};

// A process in the group that holds `bytes` of anonymous memory, touched and locked, until it
// is killed.
class AnonymousHolder {
 public:
  AnonymousHolder(const ScopedMemoryGroup& group, size_t bytes) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      std::ofstream(group.Dir() + "/cgroup.procs") << getpid() << std::flush;
      void* memory =
          mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (memory == MAP_FAILED) _exit(1);
      std::memset(memory, 1, bytes);
      mlock(memory, bytes);
      (void)!write(ready[1], "x", 1);
      while (true) pause();
    }
    close(ready[1]);
    char c;
    held_ = pid_ > 0 && read(ready[0], &c, 1) == 1;
    close(ready[0]);
  }
  ~AnonymousHolder() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  bool Held() const { return held_; }

 private:
  pid_t pid_ = -1;
  bool held_ = false;
};

std::string SparseFile(const ScopedTempDir& dir, uint64_t size) {
  const std::string path = dir / "db.fdb";
  WriteFileBytes(path, "");
  std::filesystem::resize_file(path, size);
  EvictFromCache(path);
  return path;
}

// Runs the tool on db inside the group; standard error's lines before the client library's.
std::vector<std::string> RunInGroup(const ScopedMemoryGroup& group, const std::string& db) {
  ProcessOptions options;
  options.args = {"/DB:" + db};
  options.env["LD_LIBRARY_PATH"] = BrokenClientDir();
  options.shell_prefix = group.Enter();
  ProcessResult r = RunProcess(FbwarmBinary(), options);
  EXPECT_EQ(r.out, CrLfLines({"Natives FileCache Start...", "Natives FileCache Fertig.",
                              kLibraryMissing}));
  std::vector<std::string> lines = SplitAt(r.err, "\n");
  EXPECT_FALSE(lines.empty());
  if (!lines.empty()) lines.pop_back();
  return lines;
}

// The warning's room in MB, or -1 when the line is not the group's warning.
double RoomOfWarning(const std::string& line, const std::string& group, const std::string& size) {
  std::smatch m;
  const std::regex warning(
      "fbwarm: WARNUNG: Die Datenbankdatei \\(" + size +
      "\\) ist groesser als der Speicher, den der Dateicache nutzen kann \\(([0-9.]+) MB, Grenze "
      "der Speicher-cgroup " +
      group +
      " abzueglich ihres uebrigen Speichers\\): hoechstens etwa \\1 MB der Datei koennen im "
      "Cache bleiben; das Lesen verdraengt ihren Anfang und andere Daten aus dem Cache\\.");
  return std::regex_match(line, m, warning) ? std::stod(m[1]) : -1;
}

#define SKIP_WITHOUT_V1_GROUP(group) \
  if (!(group).Ready()) GTEST_SKIP() << "needs root and the v1 memory hierarchy at " << kV1Memory

}  // namespace

TEST(MemoryRoom, AFileHalfCachedElsewhereIsStillWarnedAboutInASmallerGroup) {
  ScopedMemoryGroup group(200 * kMiB);
  SKIP_WITHOUT_V1_GROUP(group);
  ScopedTempDir dir;
  const std::string db = SparseFile(dir, 300 * kMiB);
  const PinnedInCache first_half(db, 0, 150 * kMiB);  // charged to this process's group
  ASSERT_EQ(first_half.Failure(), "");
  const std::vector<std::string> lines = RunInGroup(group, db);
  ASSERT_EQ(lines.size(), 2u);
  // 209.7 MB less what the shell and the tool hold at the start.
  const double room = RoomOfWarning(lines[0], group.Name(), "314.6 MB");
  EXPECT_GT(room, 150) << lines[0];
  EXPECT_LE(room, 209.8) << lines[0];
  EXPECT_EQ(lines[1].rfind("fbwarm: Dateicache: ", 0), 0u) << lines[1];
}

TEST(MemoryRoom, AnonymousMemoryHeldInTheGroupLeavesLessRoom) {
  // 400 MiB less the 200 MiB held leaves room for the tool itself (its 64 MiB buffer, and the
  // sanitizers' memory) but not for the 300 MiB file.
  ScopedMemoryGroup group(400 * kMiB);
  SKIP_WITHOUT_V1_GROUP(group);
  ScopedTempDir dir;
  const std::string db = SparseFile(dir, 300 * kMiB);
  std::vector<std::string> lines;
  {
    AnonymousHolder holder(group, 200 * kMiB);
    ASSERT_TRUE(holder.Held());
    lines = RunInGroup(group, db);
  }
  ASSERT_EQ(lines.size(), 2u);
  const double room = RoomOfWarning(lines[0], group.Name(), "314.6 MB");
  EXPECT_GT(room, 100) << lines[0];
  EXPECT_LE(room, 209.8) << lines[0];  // 400 MiB less the 200 MiB held
}

TEST(MemoryRoom, AGroupWithoutALimitGivesNoWarning) {
  ScopedMemoryGroup group(std::nullopt);
  SKIP_WITHOUT_V1_GROUP(group);
  ScopedTempDir dir;
  const std::string db = SparseFile(dir, 120 * kMiB);
  const std::vector<std::string> lines = RunInGroup(group, db);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("fbwarm: Dateicache: ", 0), 0u) << lines[0];
}
