#include "tool/operator_report.h"

#include <chrono>

#include "tool/bypass_words.h"
#include "tool/file_cache_words.h"
#include "tool/fit_words.h"
#include "tool/run_words.h"
#include "tool/server_cache_words.h"

namespace {

int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

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

void OperatorReport::AliasResolved(const DatabaseLocation& database) { Say(AliasLine(database)); }

void OperatorReport::ReadThroughPlanned(const ReadThroughPlan& plan) {
  Say(ReadThroughPlanLines(plan));
  if (plan.fit_whole_read) channel_.Line(FitWholeReadLine(*plan.fit_whole_read));
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

void OperatorReport::FitRead(const ReadThroughSummary& summary) {
  if (!summary.fit) return;
  Say(FitReadLines(*summary.fit, summary.size, NowSeconds()));
  if (summary.residency != ResidencyState::Trusted) channel_.Line(FitWithoutResidencyLine());
}

void OperatorReport::FitStatistics(const FitStatisticsPlan& plan, const FitRunEnd& end,
                                   const std::optional<ReadThroughSummary>& read_through) {
  if (plan.names_failure) channel_.Line(NamesUnknownLine(*plan.names_failure));
  if (!read_through || !read_through->fit || !read_through->page_map) return;
  std::optional<uint64_t> run_start;
  if (read_through->residency == ResidencyState::Trusted)
    run_start = read_through->before.resident * read_through->page_size;
  Say(FitStatisticsLines(plan.scope, {run_start, plan.resident_before, end.resident_after},
                         plan.budget_bytes));
  if (end.cached) Say(CachedByRoleLines(*end.cached, plan.names, *read_through->fit, NowSeconds()));
}

void OperatorReport::CacheBypass(const BypassVerdict& verdict) { Say(BypassLine(verdict)); }

void OperatorReport::ResultRecordsLost(const std::u16string& value, const std::u16string& reason) {
  channel_.Line(ResultRecordsLostLine(value, reason));
}
