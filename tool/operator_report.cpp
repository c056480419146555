#include "tool/operator_report.h"

#include "tool/bypass_words.h"
#include "tool/file_cache_words.h"
#include "tool/run_words.h"
#include "tool/server_cache_words.h"

namespace {

// Progress is redrawn at most this often, in seconds.
constexpr double kProgressInterval = 0.25;

}  // namespace

void OperatorReport::Say(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) channel_.Line(line);
}

void OperatorReport::Say(const std::optional<std::string>& line) {
  if (line) channel_.Line(*line);
}

void OperatorReport::ParametersRead(const ParameterSources& sources) {
  Say(ParameterSourcesLines(sources));
}

void OperatorReport::ParameterMissing(const std::u16string& name, const ParameterFile& file) {
  Say(ParameterMissingLine(name, file));
}

void OperatorReport::ClientLibraryMissing(const std::string& library, const std::u16string& reason,
                                          const std::string& package) {
  channel_.Line(ClientLibraryMissingLine(library, reason, package));
}

void OperatorReport::RunTooShort(uint32_t elapsed_ms, uint32_t minimum_ms) {
  channel_.Line(RunTooShortLine(elapsed_ms, minimum_ms));
}

void OperatorReport::DatabaseNotHere(const DatabaseLocation& database) {
  Say(DatabaseNotHereLine(database));
}

void OperatorReport::ReadThroughPlanned(const ReadThroughPlan& plan) {
  Say(ReadThroughPlanLines(plan));
}

void OperatorReport::DrawProgress(double seconds, const std::string& line) {
  if (!channel_.IsTerminal()) return;
  if (progress_shown_ && seconds - progress_last_ < kProgressInterval) return;
  progress_last_ = seconds;
  progress_shown_ = true;
  channel_.Redraw(line);
}

void OperatorReport::Progress(const ReadProgress& progress) {
  if (!channel_.IsTerminal()) return;
  DrawProgress(progress.seconds, ProgressLine(progress));
}

void OperatorReport::ServerCacheProgress(const ::ServerCacheProgress& progress) {
  if (!channel_.IsTerminal()) return;
  DrawProgress(progress.seconds, ServerCacheProgressLine(progress));
}

void OperatorReport::ServerCacheDone(const ServerCacheResult& result) {
  ProgressEnd();
  Say(ServerCacheLines(result));
}

void OperatorReport::ProgressEnd() {
  if (progress_shown_) channel_.Redraw("");
  progress_shown_ = false;
}

void OperatorReport::ReadThroughDone(const std::optional<ReadThroughSummary>& summary) {
  ProgressEnd();
  if (summary) Say(ReadThroughSummaryLines(*summary));
}

void OperatorReport::CacheBypass(const BypassVerdict& verdict) { Say(BypassLine(verdict)); }

void OperatorReport::ResultRecordsLost(const std::u16string& value, const std::u16string& reason) {
  channel_.Line(ResultRecordsLostLine(value, reason));
}
