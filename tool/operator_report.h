// The words for the operator on standard error: warnings, the residency line after the
// read-through, and progress on a terminal. Every line starts with "fbwarm: "; standard output,
// which scripts read, is never touched by these (only flushed first, so a log of both streams
// keeps their order).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/byte_count.h"
#include "platform/files.h"
#include "platform/residency.h"
#include "tool/cache_bypass.h"

// Where the words go: standard error in the program, a recorder in tests.
class ErrorChannel {
 public:
  virtual ~ErrorChannel() = default;
  // One whole line (without its line break). Standard output is flushed first; a failure of
  // that flush raises EInOutError like any failure to write standard output.
  virtual void Line(const std::string& text) = 0;
  // Rewrites the one progress line in place; the empty text clears it.
  virtual void Redraw(const std::string& text) = 0;
  virtual bool IsTerminal() = 0;
};

class ConsoleErrorChannel : public ErrorChannel {
 public:
  void Line(const std::string& text) override;
  void Redraw(const std::string& text) override;
  bool IsTerminal() override;

 private:
  size_t drawn_ = 0;  // width of the progress line on screen
};

// What the read-through of the database file found and did.
struct ReadThroughSummary {
  uint64_t size = 0;
  ResidencyState residency = ResidencyState::Unavailable;
  ResidentPages before, after;
  uint64_t page_size = 4096;
  uint64_t bytes_read = 0;
  uint64_t bytes_skipped = 0;
  double seconds = 0;
};

// Why /SKIPCACHED did not skip anything.
enum class SkipRefusal { None, ResidencyHidden, ResidencyUnavailable, FileTooLarge };

class OperatorReport {
 public:
  explicit OperatorReport(ErrorChannel& channel) : channel_(channel) {}

  // The database path may be local, but a directory on the way cannot be searched.
  void PathUnreachable(const std::u16string& path, const std::u16string& directory);
  // The file exists but cannot be opened, or a read failed after `done` bytes.
  void FileUnreadable(const std::u16string& path, const std::u16string& reason,
                      const FileOwnership& ownership);
  void ReadBroken(const std::u16string& path, const std::u16string& reason, uint64_t done);
  // The file is larger than the memory the cache can use (resident: trusted share already held).
  void MemoryShort(uint64_t size, uint64_t available, uint64_t resident);
  void SkipRefused(SkipRefusal why, uint64_t size, uint64_t available);
  // Progress of the read-through; drawn only on a terminal, a few times a second at most.
  void Progress(uint64_t done, uint64_t total);
  void ProgressEnd();
  void ReadThroughDone(const ReadThroughSummary& summary);

  // An absolute database path that names nothing here although the server is this machine's.
  void PathMissingHere(const std::u16string& path, const std::u16string& server);
  // After the report: whether the server bypasses the file cache for this database, and why;
  // nothing when it uses the cache or nothing could be asked.
  void CacheBypass(const BypassVerdict& verdict);

  // The result records asked for by FBWARM_RESULT_FD=value could not be written.
  void ResultRecordsLost(const std::u16string& value, const std::u16string& reason);

 private:
  void Warn(const std::string& text);

  ErrorChannel& channel_;
  std::chrono::steady_clock::time_point progress_start_{}, progress_last_{};
  bool progress_shown_ = false;
};

// Bytes the cache can hold of a file: nothing when all of it fits, else what fits.
std::optional<uint64_t> CacheShortfall(uint64_t size, uint64_t available, uint64_t resident);

// Whether /SKIPCACHED may skip: only on a trusted answer and for a file no larger than half
// the memory available (skipped pages are not marked as used and would be evicted first).
SkipRefusal DecideSkip(ResidencyState residency, uint64_t size, std::optional<uint64_t> available);
