// The database layer's trace hook: error texts and service notices are offered to it, and a
// background writer passes them on to registered monitors or drops them when there is none.
// The program works the same when every text is dropped.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "base/flag_set.h"

// Trace categories, ordinals 0 to 9.
enum TTraceFlag : uint8_t {
  tfQPrepare,
  tfQExecute,
  tfQFetch,
  tfError,
  tfStmt,
  tfConnect,
  tfTransact,
  tfBlob,
  tfService,
  tfMisc,
};

// A set of trace categories, two bytes with bit n standing for ordinal n.
class TTraceFlags : public FlagSet<TTraceFlag, uint16_t> {
 public:
  using FlagSet::FlagSet;
  static constexpr TTraceFlags All() {
    return {tfQPrepare, tfQExecute, tfQFetch, tfError,   tfStmt,
            tfConnect,  tfTransact, tfBlob,   tfService, tfMisc};
  }
};
static_assert(sizeof(TTraceFlags) == 2);

// Receives written trace texts on the hook's writer thread.
class ITraceMonitor {
 public:
  virtual ~ITraceMonitor() = default;
  virtual void TraceText(TTraceFlag category, const std::u16string& text) = 0;
};

// The process's trace hook.
class TIBSQLMonitorHook {
 public:
  TIBSQLMonitorHook();
  ~TIBSQLMonitorHook();  // stops the writer after it has handled its queue
  TIBSQLMonitorHook(const TIBSQLMonitorHook&) = delete;
  TIBSQLMonitorHook& operator=(const TIBSQLMonitorHook&) = delete;

  bool Enabled() const;
  void SetEnabled(bool enabled);
  // The categories the hook writes; all ten, never changed.
  TTraceFlags TraceFlags() const { return TTraceFlags::All(); }

  // Writes "[Error] " + text under tfError, when enabled.
  void SendError(std::u16string_view text);
  // Service notices: component_name + ": [Attach]" (and so on) under tfService, written only
  // when enabled and tfService is in the session's flags.
  void ServiceAttach(std::u16string_view component_name, TTraceFlags session_flags);
  void ServiceDetach(std::u16string_view component_name, TTraceFlags session_flags);
  void ServiceQuery(std::u16string_view component_name, TTraceFlags session_flags);
  void ServiceStart(std::u16string_view component_name, TTraceFlags session_flags);

  // Blocks until the writer has handled every text queued so far (for tests).
  void WaitUntilWritten();
  // Stops the writer after it has handled its queue; later texts are dropped.
  void Stop();

 private:
  void Write(TTraceFlag category, std::u16string_view text);
  void ServiceNotice(std::u16string_view component_name, TTraceFlags session_flags,
                     std::u16string_view what);

  struct Writer;
  std::unique_ptr<Writer> writer_;
};

// The hook, created at the first call; nullptr once ShutdownTraceHook has run.
std::shared_ptr<TIBSQLMonitorHook> TraceHook();

// Program end: stops the writer after it has handled its queue and releases the hook.
void ShutdownTraceHook();

// How the writer thread is started. Tests replace it to make the start fail; an empty
// function restores std::thread. A failed start disables the hook instead of raising: tracing
// must never replace the error that is being reported.
using TraceThreadStarter = std::function<std::thread(std::function<void()>)>;
void SetTraceThreadStarter(TraceThreadStarter starter);

// Monitors registered here receive every text written from now on, on the writer thread.
// Unregistering waits until no text is being delivered to the monitor.
void RegisterTraceMonitor(ITraceMonitor* monitor);
void UnregisterTraceMonitor(ITraceMonitor* monitor);
