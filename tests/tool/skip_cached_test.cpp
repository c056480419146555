// /SKIPCACHED: the read loop skips exactly the requests the cache wholly holds, at any size of
// the file, checks data appended during the run like the rest, and reads everything whenever the
// answer cannot be trusted or the parameter is absent.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <utility>

#include "base/byte_count.h"
#include "platform/residency.h"
#include "platform/testing.h"
#include "tests/support/page_cache.h"
#include "tests/support/temp_dir.h"
#include "tool/file_cache_step.h"
#include "tool/operator_report.h"
#include "tool/read_through.h"

namespace {

constexpr uint64_t R = kReadThroughRequestSize;

// A file of a given size that records every read and skip asked of it.
class RecordingSource : public ReadThroughSource {
 public:
  explicit RecordingSource(uint64_t size) : size_(size) {}
  int64_t Read(void*, size_t size) override {
    const uint64_t n = std::min<uint64_t>(size, size_ - std::min(size_, offset_));
    calls.push_back("read " + std::to_string(offset_) + " " + std::to_string(size));
    offset_ += n;
    return static_cast<int64_t>(n);
  }
  bool Skip(uint64_t size) override {
    calls.push_back("skip " + std::to_string(offset_));
    offset_ += size;
    return true;
  }
  std::vector<std::string> calls;

 private:
  uint64_t size_, offset_ = 0;
};

std::string Read(uint64_t at) { return "read " + std::to_string(at) + " " + std::to_string(R); }
std::string Skip(uint64_t at) { return "skip " + std::to_string(at); }

// Records the report's lines. As a terminal it sees progress, and the first redraw (after the
// first request) runs the test's action on the file.
class SilentChannel : public ErrorChannel {
 public:
  void Line(const std::string& text) override { lines.push_back(text); }
  void Redraw(const std::string& text) override {
    if (!text.empty() && after_first_request) std::exchange(after_first_request, nullptr)();
  }
  bool IsTerminal() override { return static_cast<bool>(after_first_request); }
  std::vector<std::string> lines;
  std::function<void()> after_first_request;
};

// A sparse file of three requests and a bit: its holes read as zeros into the page cache, so
// it can be cached and evicted without taking disk space. It is held in the cache for the
// test's duration (PinnedInCache): this machine's reclaim may take pages that are merely read.
class CachedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFileBytes(path_, "");
    std::filesystem::resize_file(path_, size_);
    Hold(0, 0);
  }
  void TearDown() override { ImposeCacheRoomLimit(std::nullopt); }
  void Hold(uint64_t offset, uint64_t length) {
    held_.push_back(std::make_unique<PinnedInCache>(path_, offset, length));
    ASSERT_EQ(held_.back()->Failure(), "");
  }
  void Evict(uint64_t offset, uint64_t length) { EvictFromCache(path_, offset, length); }
  // Runs the read-through with the report as the driver does, and returns the bytes it read.
  long long Warm(bool skip_cached, std::function<void()> after_first_request = nullptr) {
    SilentChannel channel;
    channel.after_first_request = std::move(after_first_request);
    OperatorReport report(channel);
    const long long before = ProcessBytesRead();
    FileCacheStep step(std::u16string(path_.begin(), path_.end()), skip_cached);
    report.ReadThroughPlanned(step.Plan());
    report.ReadThroughDone(step.Run([&](const ReadProgress& p) { report.Progress(p); }));
    lines_ = channel.lines;
    return ProcessBytesRead() - before;
  }

  ScopedTempDir dir_;
  const std::string path_ = dir_ / "db.fdb";
  const uint64_t size_ = 3 * R + 5000;
  std::vector<std::unique_ptr<PinnedInCache>> held_;
  std::vector<std::string> lines_;
};

// What the process read besides the file: /proc/self/io, /proc/meminfo, the cgroup files.
constexpr long long kSlack = 256 * 1024;

}  // namespace

TEST(ReadThroughLoop, SkipsExactlyTheRequestsTheCacheHoldsAndReadsTheRest) {
  const uint64_t size = 3 * R + 10;
  struct Case {
    const char* what;
    std::set<uint64_t> cached;  // offsets of the requests the cache holds
    bool skip;
    std::vector<std::string> calls;
  } cases[] = {
      {"without the parameter",
       {0, R, 2 * R, 3 * R},
       false,
       {Read(0), Read(R), Read(2 * R), Read(3 * R), Read(3 * R + 10)}},
      {"wholly cached",
       {0, R, 2 * R, 3 * R},
       true,
       {Skip(0), Skip(R), Skip(2 * R), Skip(3 * R), Read(4 * R)}},
      {"the second request evicted",
       {0, 2 * R, 3 * R},
       true,
       {Skip(0), Read(R), Skip(2 * R), Skip(3 * R), Read(4 * R)}},
      {"nothing cached", {}, true, {Read(0), Read(R), Read(2 * R), Read(3 * R), Read(3 * R + 10)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingSource source(size);
    ReadThroughHooks hooks;
    std::vector<uint64_t> progress;
    if (c.skip)
      hooks.already_cached = [&](uint64_t offset, uint64_t length) {
        EXPECT_EQ(length, R);
        return offset < size && c.cached.count(offset) > 0;
      };
    hooks.progress = [&](uint64_t done) { progress.push_back(done); };
    std::vector<char> buffer(16);
    const ReadThroughTally tally = ReadThrough(source, buffer.data(), hooks);
    EXPECT_EQ(source.calls, c.calls);
    EXPECT_FALSE(tally.failed);
    EXPECT_EQ(progress.size(), 4u);
  }
}

TEST_F(CachedFile, AWhollyCachedFileIsNotReadAgain) {
  EXPECT_LT(Warm(true), kSlack);
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_NE(lines_[0].find("(100 %), vorher 100 %; gelesen 0 B"), std::string::npos) << lines_[0];
}

TEST_F(CachedFile, APartlyEvictedFileHasExactlyItsMissingRequestsRead) {
  // Only [0, 80 MiB) and [88 MiB, 3R) stay: 8 MiB inside the second request and the short last
  // request go. The cache may hold a file in folios of up to 2 MiB, which fadvise only drops
  // whole; the held pages were brought in one by one.
  held_.clear();
  Evict(0, 0);
  Hold(0, 80 << 20);
  Hold(88 << 20, 3 * R - (88 << 20));
  Evict(80 << 20, 8 << 20);
  Evict(3 * R, 0);
  FileResidency residency(std::u16string(path_.begin(), path_.end()));
  if (residency.Query(R, R).Whole())
    GTEST_SKIP() << "this file system keeps evicted pages (tmpfs?): " << dir_.path();
  const long long read = Warm(true);
  EXPECT_GE(read, static_cast<long long>(R + (size_ - 3 * R)));
  EXPECT_LT(read, static_cast<long long>(R + (size_ - 3 * R)) + kSlack);
}

TEST_F(CachedFile, DataAppendedDuringTheRunIsCheckedLikeTheRest) {
  // After the first request, the file grows by two requests of holes that nothing has cached:
  // the request that straddles the old end must be read, not judged by the old size.
  const uint64_t grown = size_ + 2 * R;
  const long long read = Warm(true, [&] { std::filesystem::resize_file(path_, grown); });
  EXPECT_GE(read, static_cast<long long>(grown - 3 * R));
  EXPECT_LT(read, static_cast<long long>(grown - 3 * R) + kSlack);
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_NE(lines_[0].find("von " + FormatBytes(grown) + " im Cache"), std::string::npos)
      << lines_[0];
  EXPECT_TRUE(lines_[0].ends_with("; die Datei war beim Start " + FormatBytes(size_) + " gross"))
      << lines_[0];
}

TEST_F(CachedFile, AFileCutDuringTheRunIsReportedAtItsSizeAtTheEnd) {
  const uint64_t cut = 50 << 20;
  Warm(true, [&] { std::filesystem::resize_file(path_, cut); });
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_EQ(lines_[0].rfind("fbwarm: Dateicache: 52.4 MB von 52.4 MB im Cache (100 %), vorher "
                            "100 %; gelesen 0 B in ",
                            0),
            0u)
      << lines_[0];
  EXPECT_TRUE(lines_[0].ends_with(
      ", 52.4 MB schon im Cache und uebersprungen; die Datei war beim Start 201.3 MB gross"))
      << lines_[0];
}

TEST_F(CachedFile, WithoutTheParameterEverythingIsRead) {
  const long long read = Warm(false);
  EXPECT_GE(read, static_cast<long long>(size_));
  EXPECT_LT(read, static_cast<long long>(size_) + kSlack);
}

TEST_F(CachedFile, ACachedFileIsSkippedAtAnySizeAndTheMemoryWarningSaysWhenItDoesNotFit) {
  // More than half the room, but it fits: skipped, no warning.
  ImposeCacheRoomLimit(size_ * 2 - 2);
  EXPECT_LT(Warm(true), kSlack);
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_NE(lines_[0].find("(100 %), vorher 100 %; gelesen 0 B"), std::string::npos) << lines_[0];
  // Larger than the room: still skipped, and the warning says how much can stay.
  ImposeCacheRoomLimit(size_ - 1);
  EXPECT_LT(Warm(true), kSlack);
  ASSERT_EQ(lines_.size(), 2u);
  EXPECT_EQ(lines_[0],
            "fbwarm: WARNUNG: Die Datenbankdatei (201.3 MB) ist groesser als der Speicher, den "
            "der Dateicache nutzen kann (201.3 MB, vorgegebene Grenze): hoechstens etwa 201.3 MB "
            "der Datei koennen im Cache bleiben; das Lesen verdraengt ihren Anfang und andere "
            "Daten aus dem Cache.");
  EXPECT_NE(lines_[1].find("gelesen 0 B"), std::string::npos) << lines_[1];
}

TEST_F(CachedFile, AnAnswerThatCannotBeTrustedLeadsToAFullRead) {
  if (geteuid() != 0) GTEST_SKIP() << "reading as another user needs root";
  // Owned by root and not writable by nobody: the kernel would claim every page resident.
  chmod(dir_.path().c_str(), 0755);
  chmod(path_.c_str(), 0644);
  Evict(0, size_);
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    prctl(PR_SET_DUMPABLE, 1);  // /proc/self/io is closed to a process that changed its user
    const long long read = Warm(true);
    const bool full = read >= static_cast<long long>(size_);
    const bool said = lines_.size() == 2 && lines_[0].find("nicht sehen kann") != std::string::npos;
    _exit((full ? 0 : 1) | (said ? 0 : 4));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not everything was read, 4: nothing said, 2: setuid";
}
