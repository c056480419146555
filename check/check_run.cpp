#include "check/check_run.h"

#include <chrono>
#include <memory>
#include <optional>
#include <regex>

#include "base/exceptions.h"
#include "check/check_words.h"
#include "check/record_reader.h"
#include "platform/console.h"
#include "platform/environment.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/service_notify.h"
#include "platform/text_encoding.h"

namespace {

constexpr char16_t kRecordVariable[] = u"FBWARM_RESULT_FD";
// systemd sends the status on; more often than this is noise in `systemctl status`.
constexpr auto kStatusInterval = std::chrono::seconds(1);

// fbwarm beside this program, symbolic links resolved: /usr/lib/fbwarm/fbwarm for the
// installed /usr/bin/fbwarm-check.
std::u16string ProgramBeside() {
  const std::u16string self = ExecutablePath();
  const size_t slash = self.rfind(PathSeparator());
  if (slash == std::u16string::npos) return u"fbwarm";
  return self.substr(0, slash + 1) + u"fbwarm";
}

// Under systemd with RuntimeDirectory=, runs of every unit that shares the directory take
// turns: they would compete for the same disk and memory.
std::unique_ptr<ExclusiveFileLock> TakeTurn() {
  const std::optional<std::u16string> directories = GetEnvironmentValue(u"RUNTIME_DIRECTORY");
  if (!directories || directories->empty()) return nullptr;
  const std::u16string first = directories->substr(0, directories->find(u':'));
  return std::make_unique<ExclusiveFileLock>(first + u"/warm.lock",
                                             [] { NotifyServiceStatus(WaitingStatus()); });
}

// Forwards progress as status lines, at most one a second; the server step at once.
class StatusForwarder {
 public:
  void operator()(const ResultRecord& record) {
    const auto now = std::chrono::steady_clock::now();
    if (const auto* progress = std::get_if<ReadProgressRecord>(&record)) {
      if (shown_ && now - last_ < kStatusInterval && progress->done < progress->total) return;
      NotifyServiceStatus(ProgressStatus(*progress));
    } else {
      NotifyServiceStatus(ServerStepStatus());
    }
    last_ = now;
    shown_ = true;
  }

 private:
  std::chrono::steady_clock::time_point last_{};
  bool shown_ = false;
};

void Run(const std::vector<std::string>& arguments, CheckEnd& end) {
  const std::unique_ptr<ExclusiveFileLock> turn = TakeTurn();
  StatusForwarder forward;
  RecordReader reader([&](const ResultRecord& record) { forward(record); });
  ChildProcess child(ProgramBeside(), arguments, kRecordVariable);
  for (std::string bytes; !(bytes = child.ReadPipe()).empty();) reader.Feed(bytes);
  end.child = child.Wait();
  end.records = reader.Records();
}

}  // namespace

int RunCheck(const std::vector<std::string>& arguments) {
  CheckEnd end;
  end.program = ToNarrow(ProgramBeside());
  // The one place that catches: the helper's own failures leave the run without an end.
  try {
    Run(arguments, end);
  } catch (const Exception& e) {
    // The helper's line is one line: the message's own line breaks become blanks.
    end.start_failure = std::regex_replace(ToNarrow(e.Message()), std::regex("\r?\n"), " ");
  }
  end.status = StatusOf(end.child.value_or(ChildEnd{true, 0}), end.records);
  // fbwarm has ended: what it wrote is out, so these lines come after all of it.
  for (const std::string& line : VerdictLines(end)) ConsoleWriteError(line);
  NotifyServiceStatus(FinalStatus(end));
  return static_cast<int>(end.status);
}
