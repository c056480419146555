// The one reporter for the operator: it words on standard error what the run's steps found,
// as they hand it over, and draws progress on a terminal. Every line starts with "fbwarm: ";
// standard output, which scripts read, is never touched by these (only flushed first, so a log
// of both streams keeps their order). The words live in small files by subject: run_words,
// file_cache_words, bypass_words.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "params/param_file.h"
#include "tool/cache_bypass.h"
#include "tool/error_channel.h"
#include "tool/file_cache_facts.h"
#include "tool/fit_step.h"
#include "tool/run_request.h"
#include "tool/run_target.h"
#include "tool/server_cache_step.h"

class OperatorReport {
 public:
  explicit OperatorReport(ErrorChannel& channel) : channel_(channel) {}

  // When the run begins: the parameter file and /TEMP: as the parameter list found them.
  void ParametersRead(const ParameterSources& sources);

  // Before the FEHLER line of a failed run, where that line alone does not name the cause:
  // a parameter missing because the parameter file (file) lacked its section; the client
  // library (the file handed to the loader, its reason, the package that installs it); a run
  // that failed only by its time.
  void ParameterMissing(const std::u16string& name, const ParameterFile& file);
  void ClientLibraryMissing(const std::string& library, const std::u16string& reason,
                            const std::string& package);
  void RunTooShort(uint32_t elapsed_ms, uint32_t minimum_ms);

  // The database path names no file here: why, where that helps.
  void DatabaseNotHere(const DatabaseLocation& database);
  // The database is an alias of the local server: which file the read-through takes for it.
  void AliasResolved(const DatabaseLocation& database);

  // The read-through: its plan before the first read, its progress (drawn only on a terminal,
  // a few times a second at most), and its end (nothing when the file did not open).
  void ReadThroughPlanned(const ReadThroughPlan& plan);
  void Progress(const ReadProgress& progress);
  void ProgressEnd();
  void ReadThroughDone(const std::optional<ReadThroughSummary>& summary);

  // /FIT: after the read-through, what it decided and read; before the statistics action, a
  // failure to learn the tables' names; after the report, what the action brought in and
  // what the cache holds by page role.
  void FitRead(const ReadThroughSummary& summary);
  void FitStatistics(const FitStatisticsPlan& plan, const FitRunEnd& end,
                     const std::optional<ReadThroughSummary>& read_through);
  // The server-cache step: its progress (as the read-through's) and its end, or why it was
  // skipped.
  void ServerCacheProgress(const ::ServerCacheProgress& progress);
  void ServerCacheDone(const ServerCacheResult& result);

  // After the report: whether the server bypasses the file cache for this database, and why;
  // nothing when it uses the cache or nothing could be asked.
  void CacheBypass(const BypassVerdict& verdict);

  // The result records asked for by FBWARM_RESULT_FD=value could not be written.
  void ResultRecordsLost(const std::u16string& value, const std::u16string& reason);

 private:
  void Say(const std::vector<std::string>& lines);
  void Say(const std::optional<std::string>& line);
  // Redraws the progress line, a few times a second at most, on a terminal only.
  void DrawProgress(double seconds, const std::string& line);

  ErrorChannel& channel_;
  double progress_last_ = 0;
  bool progress_shown_ = false;
};
