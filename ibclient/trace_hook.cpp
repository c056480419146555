#include "ibclient/trace_hook.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Registered monitors. Declared before the hook so that they outlive it at program exit.
std::mutex g_monitor_lock;
std::vector<ITraceMonitor*> g_monitors;

// The trace lock: guards the hook's creation and the prefixing of trace texts.
std::mutex g_trace_lock;
std::shared_ptr<TIBSQLMonitorHook> g_hook;
bool g_shut_down = false;

// The application title that prefixes every trace text; nothing in this program sets one.
const std::u16string g_application_title;

std::mutex g_starter_lock;
TraceThreadStarter g_starter;

// Starts the writer thread; an empty thread when it cannot be started.
std::thread StartWriterThread(std::function<void()> body) {
  TraceThreadStarter starter;
  {
    std::lock_guard<std::mutex> lock(g_starter_lock);
    starter = g_starter;
  }
  try {
    return starter ? starter(std::move(body)) : std::thread(std::move(body));
  } catch (...) {
    return std::thread();
  }
}

void Deliver(TTraceFlag category, const std::u16string& text) {
  std::lock_guard<std::mutex> lock(g_monitor_lock);
  // With no monitor registered the text is dropped.
  for (ITraceMonitor* monitor : g_monitors) {
    try {
      monitor->TraceText(category, text);
    } catch (...) {
      // A failing monitor must not end the program that it watches.
    }
  }
}

}  // namespace

// The background writer: one thread, started at the first text, that hands the queued texts
// to the monitors in order.
struct TIBSQLMonitorHook::Writer {
  std::atomic<bool> enabled{true};
  std::mutex mutex;
  std::condition_variable wake;     // a text was queued, or the writer must stop
  std::condition_variable drained;  // the queue is empty and nothing is being delivered
  std::deque<std::pair<TTraceFlag, std::u16string>> queue;
  bool delivering = false;
  bool stopping = false;
  std::thread thread;

  void Enqueue(TTraceFlag category, std::u16string text) {
    std::lock_guard<std::mutex> lock(mutex);
    if (stopping) return;
    if (!thread.joinable()) {
      thread = StartWriterThread([this] { Run(); });
      if (!thread.joinable()) {
        // No writer, no tracing: the hook turns itself off for good.
        enabled = false;
        stopping = true;
        return;
      }
    }
    queue.emplace_back(category, std::move(text));
    wake.notify_one();
  }

  void Run() {
    std::unique_lock<std::mutex> lock(mutex);
    while (true) {
      wake.wait(lock, [this] { return stopping || !queue.empty(); });
      if (queue.empty()) return;  // stopping, and everything is handled
      auto [category, text] = std::move(queue.front());
      queue.pop_front();
      delivering = true;
      lock.unlock();
      Deliver(category, text);
      lock.lock();
      delivering = false;
      if (queue.empty()) drained.notify_all();
    }
  }

  void WaitUntilDrained() {
    std::unique_lock<std::mutex> lock(mutex);
    drained.wait(lock, [this] { return queue.empty() && !delivering; });
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
      wake.notify_one();
    }
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
  }
};

TIBSQLMonitorHook::TIBSQLMonitorHook() : writer_(std::make_unique<Writer>()) {}

TIBSQLMonitorHook::~TIBSQLMonitorHook() {
  Stop();
  // Only a Stop() from a monitor callback leaves the thread running; it ends on its own.
  if (writer_->thread.joinable()) writer_->thread.detach();
}

bool TIBSQLMonitorHook::Enabled() const { return writer_->enabled; }

void TIBSQLMonitorHook::SetEnabled(bool enabled) { writer_->enabled = enabled; }

void TIBSQLMonitorHook::SendError(std::u16string_view text) {
  if (Enabled() && TraceFlags().Contains(tfError))
    Write(tfError, u"[Error] " + std::u16string(text));
}

void TIBSQLMonitorHook::ServiceAttach(std::u16string_view component_name,
                                      TTraceFlags session_flags) {
  ServiceNotice(component_name, session_flags, u": [Attach]");
}

void TIBSQLMonitorHook::ServiceDetach(std::u16string_view component_name,
                                      TTraceFlags session_flags) {
  ServiceNotice(component_name, session_flags, u": [Detach]");
}

void TIBSQLMonitorHook::ServiceQuery(std::u16string_view component_name,
                                     TTraceFlags session_flags) {
  ServiceNotice(component_name, session_flags, u": [Query]");
}

void TIBSQLMonitorHook::ServiceStart(std::u16string_view component_name,
                                     TTraceFlags session_flags) {
  ServiceNotice(component_name, session_flags, u": [Start]");
}

void TIBSQLMonitorHook::ServiceNotice(std::u16string_view component_name, TTraceFlags session_flags,
                                      std::u16string_view what) {
  if (Enabled() && session_flags.Contains(tfService) && TraceFlags().Contains(tfService))
    Write(tfService, std::u16string(component_name) + std::u16string(what));
}

void TIBSQLMonitorHook::Write(TTraceFlag category, std::u16string_view text) {
  std::u16string prefixed;
  {
    std::lock_guard<std::mutex> lock(g_trace_lock);
    prefixed = u"\r\n[Application: " + g_application_title + u"]\r\n" + std::u16string(text);
  }
  writer_->Enqueue(category, std::move(prefixed));
}

void TIBSQLMonitorHook::WaitUntilWritten() { writer_->WaitUntilDrained(); }

void TIBSQLMonitorHook::Stop() { writer_->Stop(); }

std::shared_ptr<TIBSQLMonitorHook> TraceHook() {
  std::lock_guard<std::mutex> lock(g_trace_lock);
  try {
    if (!g_hook && !g_shut_down) g_hook = std::make_shared<TIBSQLMonitorHook>();
  } catch (const std::bad_alloc&) {
    // Without memory for the hook there is no tracing; the caller's own error goes on.
  }
  return g_hook;
}

void ShutdownTraceHook() {
  std::shared_ptr<TIBSQLMonitorHook> hook;
  {
    std::lock_guard<std::mutex> lock(g_trace_lock);
    g_shut_down = true;
    hook = std::move(g_hook);
  }
  if (hook) hook->Stop();
}

void SetTraceThreadStarter(TraceThreadStarter starter) {
  std::lock_guard<std::mutex> lock(g_starter_lock);
  g_starter = std::move(starter);
}

void RegisterTraceMonitor(ITraceMonitor* monitor) {
  std::lock_guard<std::mutex> lock(g_monitor_lock);
  if (std::find(g_monitors.begin(), g_monitors.end(), monitor) == g_monitors.end())
    g_monitors.push_back(monitor);
}

void UnregisterTraceMonitor(ITraceMonitor* monitor) {
  std::lock_guard<std::mutex> lock(g_monitor_lock);
  g_monitors.erase(std::remove(g_monitors.begin(), g_monitors.end(), monitor), g_monitors.end());
}
