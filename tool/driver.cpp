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
#include "tool/file_cache_step.h"
#include "tool/line_output.h"
#include "tool/operator_report.h"
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

// Reads the database file through when it lies on this machine, which is the case when the
// tool runs on the database server itself.
void NativeFileCache(LineOutput& out, OperatorReport& report) {
  const std::u16string db = ParamValue(u"DB");
  if (IsLocalFile(db)) {
    out.PrintLine(u"Natives FileCache Start...");
    WarmFileCache(db, HasParam(u"SKIPCACHED"), report);
    out.PrintLine(u"Natives FileCache Fertig.");
  } else {
    out.PrintLine(u"Natives FileCache kann nur auf dem Server selbst ausgefuehrt werden.");
    if (QueryPath(db) == PathKind::Inaccessible)
      report.PathUnreachable(db, FirstUnsearchableDirectory(db), PathAccessFailure(db));
  }
}

// What the parameter list found when it was made: the parameter file, and /TEMP:.
void ReportParameterSources(OperatorReport& report) {
  TApplicationParamList* list = ApplicationParamList();
  if (!list) return;
  report.ParameterFileRead(list->ParameterFileRead());
  report.TemporaryDirectoryNotApplied(list->TemporaryDirectoryRedirection());
}

void RunSequence(int64_t start_tick, LineOutput& out, TickSource& ticks, OperatorReport& report) {
  const bool help = HasParam(u"?");
  WarnAboutExposedPassword();
  ReportParameterSources(report);
  if (help) {
    ShowHelp(out);
    return;
  }
  NativeFileCache(out, report);
  WarmUpContext context{out, ticks, ParamValue, &report};
  RunStatisticsWarmUp(start_tick, context);
}

// The one place that catches: every failure of the run becomes one "FEHLER " line.
void RunHandled(int64_t start_tick, LineOutput& out, TickSource& ticks) {
  ConsoleErrorChannel channel;
  OperatorReport report(channel);
  std::u16string message;
  try {
    RunSequence(start_tick, out, ticks, report);
    return;
  } catch (const EIBClientLibraryMissing& e) {
    report.ClientLibraryMissing(e.Library(), e.LoaderReason(), ClientLibraryPackage());
    message = e.Message();
  } catch (const Exception& e) {
    message = e.Message();
  } catch (const std::bad_alloc&) {
    message = EOutOfMemory().Message();
  } catch (const std::exception& e) {
    message = FromNarrow(e.what());
  }
  out.PrintLine(u"FEHLER " + message);
}

void ReportEscapedError(const std::string& text) { ConsoleWriteError("fbwarm: " + text + "\n"); }

}  // namespace

int RunProgram() {
  SystemTickSource ticks;
  const int64_t start_tick = ticks.Now();
  ConsoleLineOutput out;
  int exit_code = 0;
  try {
    RunHandled(start_tick, out, ticks);
    ConsoleFlush();
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
