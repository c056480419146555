#include "check/record_reader.h"

#include <utility>

RecordReader::RecordReader(std::function<void(const ResultRecord&)> on_progress)
    : on_progress_(std::move(on_progress)) {}

void RecordReader::Feed(std::string_view bytes) {
  pending_ += bytes;
  size_t start = 0;
  for (size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1)
    Take(std::string_view(pending_).substr(start, end - start));
  pending_.erase(0, start);
}

void RecordReader::Take(std::string_view line) {
  const std::optional<ResultRecord> record = ParseResultRecord(line);
  if (std::exchange(first_, false)) {
    const auto* version = record ? std::get_if<VersionRecord>(&*record) : nullptr;
    records_.version_known = version && version->version == kResultRecordVersion;
    return;
  }
  // Records of another version mean nothing here, and unknown kinds are skipped.
  if (!records_.version_known || !record) return;
  if (const auto* error = std::get_if<ErrorLineRecord>(&*record)) {
    records_.error_lines.push_back(error->text);
  } else if (const auto* end = std::get_if<RunEndRecord>(&*record)) {
    records_.end = *end;
  } else if (std::holds_alternative<ReadProgressRecord>(*record) ||
             std::holds_alternative<ServerStepRecord>(*record)) {
    on_progress_(*record);
  }
}
