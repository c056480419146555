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
#include "params/application_param_list.h"
#include "params/param_file.h"
#include "platform/cache_memory.h"
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
  uint64_t size = 0;        // at the end: the file may have grown or shrunk meanwhile
  uint64_t start_size = 0;  // when the read-through began
  ResidencyState residency = ResidencyState::Unavailable;
  ResidentPages before, after;
  uint64_t page_size = 4096;
  uint64_t bytes_read = 0;
  uint64_t bytes_skipped = 0;
  double seconds = 0;
};

// Why /SKIPCACHED did not skip anything.
enum class SkipRefusal { None, ResidencyHidden, ResidencyUnavailable };

class OperatorReport {
 public:
  explicit OperatorReport(ErrorChannel& channel) : channel_(channel) {}

  // The parameter file as the run found it: a file that is there but could not be read is
  // said at once; a missing [STARTPARAMS] section only if a parameter turns out to be missing.
  void ParameterFileRead(const ParameterFile& file);
  // The run ends with "Parameter <name> fehler".
  void ParameterMissing(const std::u16string& name);
  // A /TEMP: value was given but could not be applied.
  void TemporaryDirectoryNotApplied(const TApplicationParamList::TempRedirection& redirection);
  // The client library could not be loaded: the file handed to the loader, the loader's
  // reason, and the package that installs it (may be empty).
  void ClientLibraryMissing(const std::string& library, const std::u16string& reason,
                            const std::string& package);
  // The run ends with "Fehler aufgetreten" only because it took less than the minimum.
  void RunTooShort(uint32_t elapsed_ms, uint32_t minimum_ms);

  // The database path may be local, but cannot be reached: a directory on the way cannot be
  // searched (directory), or for the system's reason.
  void PathUnreachable(const std::u16string& path, const std::u16string& directory,
                       const std::u16string& reason);
  // The file exists but cannot be opened, or a read failed after `done` bytes.
  void FileUnreadable(const std::u16string& path, const std::u16string& reason,
                      const FileOwnership& ownership);
  void ReadBroken(const std::u16string& path, const std::u16string& reason, uint64_t done);
  // The file is larger than the room the file cache has for it.
  void MemoryShort(uint64_t size, const CacheRoom& room);
  void SkipRefused(SkipRefusal why);
  // Progress of the read-through, `seconds` after it began; drawn only on a terminal, a few
  // times a second at most.
  void Progress(uint64_t done, uint64_t total, double seconds);
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
  ParameterFile parameter_file_;
  double progress_last_ = 0;
  bool progress_shown_ = false;
};

// Whether /SKIPCACHED may skip: only on a trusted answer, and then exactly the requests it
// says are resident, at any size (a file larger than the room gets the memory warning).
SkipRefusal DecideSkip(ResidencyState residency);
