#include "tool/driver.h"

#include <cstdint>
#include <new>
#include <optional>
#include <string>

#include "base/exceptions.h"
#include "ibclient/errors.h"
#include "ibclient/gds_library.h"
#include "ibclient/trace_hook.h"
#include "params/application_param_list.h"
#include "platform/console.h"
#include "platform/state_directory.h"
#include "platform/text_encoding.h"
#include "tool/cache_bypass_step.h"
#include "tool/database_alias.h"
#include "tool/error_channel.h"
#include "tool/file_cache_step.h"
#include "tool/file_page_map.h"
#include "tool/fit_step.h"
#include "tool/line_output.h"
#include "tool/operator_report.h"
#include "tool/result_record_writer.h"
#include "tool/run_outcome.h"
#include "tool/run_request.h"
#include "tool/run_target.h"
#include "tool/server_cache_step.h"
#include "tool/statistics_step.h"
#include "tool/tick_source.h"

namespace {

constexpr const char16_t* kHelpLines[] = {
    u"Parameter:",
    u"/SERVER:127.0.0.1 /DB:C:\\DB\\Kandor.gdb /USER:SYSDBA /PASSWORD:XXXXXX",
    u"",
    u"/SERVER",
    u"    Optional, gibt Server an",
    u"/DB",
    u"    gibt den Pfad der Datenbank aus Sicht des Servers an",
    u"/USER",
    u"    gibt den zu verwendenenden USER an, sollte aber SYSDBA sein",
    u"/PASSWORD",
    u"    gibt das Passwort des USERs an",
    u"",
    u"...Weiter mit Enter...",
};

// What every step of a run may use: the console, the clock, the operator's report and the
// result records.
struct RunTools {
  LineOutput& out;
  TickSource& ticks;
  OperatorReport& report;
  ResultRecordWriter& records;
};

void ShowHelp(LineOutput& out) {
  for (const char16_t* line : kHelpLines) out.PrintLine(line);
  ConsoleReadLine();
}

// Reads the database file through when it lies on this machine, which is the case when the
// tool runs on the database server itself.
// With fit (/FIT), the pages worth the most up to its budget instead of the whole file.
std::optional<ReadThroughSummary> WarmFileCache(const DatabaseLocation& database, bool skip_cached,
                                                const std::optional<FitChoice>& fit,
                                                const RunTools& tools) {
  tools.report.AliasResolved(database);
  if (!database.IsLocalFile()) {
    tools.out.PrintLine(u"Natives FileCache kann nur auf dem Server selbst ausgefuehrt werden.");
    tools.report.DatabaseNotHere(database);
    return std::nullopt;
  }
  tools.out.PrintLine(u"Natives FileCache Start...");
  FileCacheStep step(database.LocalPath(), skip_cached, fit);
  tools.report.ReadThroughPlanned(step.Plan());
  const std::optional<ReadThroughSummary> summary = step.Run([&](const ReadProgress& progress) {
    tools.report.Progress(progress);
    tools.records.ReadProgress(progress.done, progress.total,
                               static_cast<uint64_t>(progress.seconds * 1000));
  });
  tools.report.ReadThroughDone(summary);
  if (summary) tools.report.FitRead(*summary);
  tools.out.PrintLine(u"Natives FileCache Fertig.");
  return summary;
}

// /SERVERCACHE: the engine's own page cache, filled through an attachment of its own, in order
// of value when the pages of the database file are known: from the read-through's map (/FIT),
// else by mapping the file here, which the read-through has just cached, once the step knows it
// will bring pages. Whether the server reads this database through the file cache is found out
// before it (and said after the report, as without the step).
void WarmServerCacheStep(const ServerTarget& target, const BypassVerdict& verdict,
                         const std::optional<ReadThroughSummary>& read_through,
                         const RunTools& tools) {
  std::optional<PageMap> made;
  const PageMapSource map_source = [&]() -> const PageMap* {
    if (read_through && read_through->page_map) return &*read_through->page_map;
    if (target.database.IsLocalFile()) made = MapOfLocalFile(target.database.LocalPath());
    return made ? &*made : nullptr;
  };
  const ServerCacheResult result = WarmServerCache(
      target, SharedClientLibrary(), map_source,
      verdict.outcome == BypassVerdict::Outcome::UsesCache, tools.ticks,
      [&](const ServerCacheProgress& progress) { tools.report.ServerCacheProgress(progress); });
  tools.report.ServerCacheDone(result);
}

// The server part: the server-cache step when asked for, the statistics run, and after its
// report whether the server bypasses the file cache that the run has filled (untimed, unless
// the server-cache step needed it first).
// Under /FIT (fit), the action is asked for no more than the read-through's budget allowed,
// and afterwards the operator learns what the cache holds by page role.
uint32_t WarmServer(const RunRequest& request, const DatabaseLocation& database, int64_t start_tick,
                    bool fit, const std::optional<ReadThroughSummary>& read_through,
                    const RunTools& tools) {
  tools.records.ServerStep();
  StatisticsStep statistics(tools.out, tools.ticks);
  const ServerTarget target = TakeServerTarget(request, database);
  std::optional<BypassVerdict> verdict;
  if (request.server_cache) {
    verdict = FindBypassVerdict(target, SystemBypassSources());
    WarmServerCacheStep(target, *verdict, read_through, tools);
  }
  std::optional<FitStatisticsPlan> fit_plan;
  if (fit) fit_plan = PlanFitStatistics(read_through, target);
  statistics.PrintReport(target, start_tick,
                         fit_plan ? std::optional<StatisticsScope>(fit_plan->scope) : std::nullopt);
  if (fit_plan) tools.report.FitStatistics(*fit_plan, MeasureFitRunEnd(read_through), read_through);
  tools.report.CacheBypass(verdict ? *verdict : FindBypassVerdict(target, SystemBypassSources()));
  return statistics.Finish();
}

RunEnd RunSequence(const RunRequest& request, int64_t start_tick, const RunTools& tools) {
  tools.report.ParametersRead(request.sources);
  if (request.help) {
    ShowHelp(tools.out);
    return RunEnd{RunOutcome::Help, 0, 0, {}};
  }
  std::optional<FitChoice> fit;
  if (request.fit.fit)  // a refused /MAXMB ends the run before anything is read
    fit = FitChoice{request.fit.Budget(), StateDirectory().value_or(u"")};
  const DatabaseLocation database =
      LocateDatabase(request.database.Taken(), request.server.IfUsable(), SystemAliasLookup());
  const std::optional<ReadThroughSummary> read_through =
      WarmFileCache(database, request.skip_cached, fit, tools);
  const uint32_t elapsed =
      WarmServer(request, database, start_tick, fit.has_value(), read_through, tools);
  return RunEnd{RunOutcome::Finished, elapsed, 0, {}};
}

// The end of a run that failed: what a program running fbwarm is told about it.
RunEnd FailedRunEnd(const std::exception& failure, uint32_t elapsed) {
  RunEnd end{OutcomeOfFailure(failure), elapsed, FirebirdErrorCode(failure), {}};
  if (const auto* too_fast = dynamic_cast<const ERunTooFast*>(&failure))
    end.milliseconds = too_fast->ElapsedMilliseconds();
  return end;
}

// What the operator is told on standard error about a failure, before its "FEHLER " line.
void ExplainFailure(const std::exception& failure, const RunRequest& request,
                    OperatorReport& report) {
  if (const auto* missing = dynamic_cast<const EIBClientLibraryMissing*>(&failure))
    report.ClientLibraryMissing(missing->Library(), missing->LoaderReason(),
                                ClientLibraryPackage());
  else if (const auto* parameter = dynamic_cast<const EParameterMissing*>(&failure))
    report.ParameterMissing(parameter->Name(), request.sources.file);
  else if (const auto* too_fast = dynamic_cast<const ERunTooFast*>(&failure))
    report.RunTooShort(too_fast->ElapsedMilliseconds(), kMinimumRunMilliseconds);
}

std::u16string MessageOf(const std::exception& failure) {
  if (const auto* own = dynamic_cast<const Exception*>(&failure)) return own->Message();
  if (dynamic_cast<const std::bad_alloc*>(&failure)) return EOutOfMemory().Message();
  return FromNarrow(failure.what());
}

// The one place that catches: every failure of the run becomes one "FEHLER " line.
RunEnd RunHandled(int64_t start_tick, const RunTools& tools) {
  RunRequest request;  // asks for nothing until the parameter list could be read
  try {
    request = ReadRunRequest();
    return RunSequence(request, start_tick, tools);
  } catch (const std::exception& failure) {
    RunEnd end = FailedRunEnd(failure, tools.ticks.Now() - static_cast<uint32_t>(start_tick));
    ExplainFailure(failure, request, tools.report);
    end.error_report = u"FEHLER " + MessageOf(failure);
    tools.out.PrintLine(end.error_report);
    return end;
  }
}

void ReportEscapedError(const std::string& text) { ConsoleWriteError("fbwarm: " + text + "\n"); }

}  // namespace

int RunProgram() {
  SystemTickSource ticks;
  const int64_t start_tick = ticks.Now();
  ConsoleLineOutput out;
  ConsoleErrorChannel channel;
  OperatorReport report(channel);
  ResultRecordWriter records = ResultRecordWriter::FromEnvironment();
  int exit_code = 0;
  try {
    const RunEnd end = RunHandled(start_tick, RunTools{out, ticks, report, records});
    ConsoleFlush();
    // Only once standard output is complete: a reader takes the record as the run's last word.
    records.Finish(end);
    if (const auto& trouble = records.Trouble())
      report.ResultRecordsLost(trouble->value, trouble->reason);
  } catch (const Exception& e) {
    // Standard output itself failed: nothing can be shown there any more.
    ReportEscapedError(ToNarrow(e.Message()));
    exit_code = 1;
  } catch (...) {
    ReportEscapedError("unexpected error");
    exit_code = 1;
  }
  ReleaseApplicationParamList();
  ShutdownTraceHook();
  return exit_code;
}
