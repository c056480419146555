#include "tool/driver.h"

#include <cstdint>
#include <new>
#include <string>

#include "base/exceptions.h"
#include "ibclient/errors.h"
#include "ibclient/gds_library.h"
#include "ibclient/trace_hook.h"
#include "params/application_param_list.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/text_encoding.h"
#include "tool/cache_bypass_step.h"
#include "tool/file_cache_step.h"
#include "tool/line_output.h"
#include "tool/operator_report.h"
#include "tool/result_record_writer.h"
#include "tool/run_outcome.h"
#include "tool/tick_source.h"
#include "tool/warmup_run.h"

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

bool HasParam(const std::u16string& name) {
  TApplicationParamList* list = ApplicationParamList();
  return list && list->HasParam(name);
}

// A value cut to fit would name another file, user or server: the run refuses it where the
// value is first taken.
std::u16string ParamValue(const std::u16string& name) {
  TApplicationParamList* list = ApplicationParamList();
  if (!list) return {};
  if (list->ParamValueTooLong(name)) throw Exception(u"Parameter " + name + u" zu lang");
  return list->GetParamValue(name);
}

// Standard error, so that the output that scripts read stays as it is.
void WarnAboutExposedPassword() {
  TApplicationParamList* list = ApplicationParamList();
  if (list && list->ParameterFileExposesPassword())
    ConsoleWriteError(
        "fbwarm: WARNUNG: Die Parameterdatei enthaelt ein Passwort und ist fuer andere "
        "Benutzer lesbar; sie sollte nur fuer ihren Eigentuemer lesbar sein.\n");
}

void ShowHelp(LineOutput& out) {
  for (const char16_t* line : kHelpLines) out.PrintLine(line);
  ConsoleReadLine();
}

// A path that names nothing here although the server is this machine's. Only a note: a /SERVER
// value that is refused later (too long) is not looked at, so that the run's errors keep their
// order (the client library's first).
void WarnIfMissingOnLocalServer(const std::u16string& db, OperatorReport& report) {
  TApplicationParamList* list = ApplicationParamList();
  if (list && list->ParamValueTooLong(u"SERVER")) return;
  const std::u16string server = list ? list->GetParamValue(u"SERVER") : std::u16string();
  if (IsLocalServer(server)) report.PathMissingHere(db, server);
}

// Reads the database file through when it lies on this machine, which is the case when the
// tool runs on the database server itself.
void NativeFileCache(LineOutput& out, OperatorReport& report, ResultRecordWriter& records) {
  const std::u16string db = ParamValue(u"DB");
  if (IsLocalFile(db)) {
    out.PrintLine(u"Natives FileCache Start...");
    WarmFileCache(db, HasParam(u"SKIPCACHED"), report, &records);
    out.PrintLine(u"Natives FileCache Fertig.");
  } else {
    out.PrintLine(u"Natives FileCache kann nur auf dem Server selbst ausgefuehrt werden.");
    const PathKind kind = QueryPath(db);
    if (kind == PathKind::Inaccessible)
      report.PathUnreachable(db, FirstUnsearchableDirectory(db), PathAccessFailure(db));
    else if (kind == PathKind::Missing && IsAbsolutePath(db))
      WarnIfMissingOnLocalServer(db, report);
  }
}

// What the parameter list found when it was made: the parameter file, and /TEMP:.
void ReportParameterSources(OperatorReport& report) {
  TApplicationParamList* list = ApplicationParamList();
  if (!list) return;
  report.ParameterFileRead(list->ParameterFileRead());
  report.TemporaryDirectoryNotApplied(list->TemporaryDirectoryRedirection());
}

struct RunTools {
  LineOutput& out;
  TickSource& ticks;
  OperatorReport& report;
  ResultRecordWriter& records;
};

RunEnd RunSequence(int64_t start_tick, const RunTools& tools) {
  const bool help = HasParam(u"?");
  WarnAboutExposedPassword();
  ReportParameterSources(tools.report);
  if (help) {
    ShowHelp(tools.out);
    return RunEnd{RunOutcome::Help, 0, 0, {}};
  }
  NativeFileCache(tools.out, tools.report, tools.records);
  tools.records.ServerStep();
  WarmUpContext context{tools.out, tools.ticks, ParamValue, [&] {
                          const BypassQuestion question{ParamValue(u"SERVER"), ParamValue(u"DB"),
                                                        ParamValue(u"USER"),
                                                        ParamValue(u"PASSWORD")};
                          tools.report.CacheBypass(
                              FindBypassVerdict(question, SystemBypassSources()));
                        }};
  const uint32_t elapsed = RunStatisticsWarmUp(start_tick, context);
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
void ExplainFailure(const std::exception& failure, OperatorReport& report) {
  if (const auto* missing = dynamic_cast<const EIBClientLibraryMissing*>(&failure))
    report.ClientLibraryMissing(missing->Library(), missing->LoaderReason(),
                                ClientLibraryPackage());
  else if (const auto* parameter = dynamic_cast<const EParameterMissing*>(&failure))
    report.ParameterMissing(parameter->Name());
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
  try {
    return RunSequence(start_tick, tools);
  } catch (const std::exception& failure) {
    RunEnd end = FailedRunEnd(failure, tools.ticks.Now() - static_cast<uint32_t>(start_tick));
    ExplainFailure(failure, tools.report);
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
