#include "tool/result_record_writer.h"

#include "platform/environment.h"
#include "platform/text_encoding.h"

namespace {

// A descriptor number from 3 up: records must never mix into the console's streams.
std::optional<int> DescriptorNumber(const std::u16string& value) {
  if (value.empty() || value.size() > 9) return std::nullopt;
  int number = 0;
  for (char16_t c : value) {
    if (c < u'0' || c > u'9') return std::nullopt;
    number = number * 10 + (c - u'0');
  }
  if (number < 3) return std::nullopt;
  return number;
}

}  // namespace

ResultRecordWriter ResultRecordWriter::FromEnvironment() {
  const std::optional<std::u16string> value = GetEnvironmentValue(kResultRecordVariable);
  if (!value) return ResultRecordWriter(nullptr);
  const std::optional<int> number = DescriptorNumber(*value);
  if (!number) {
    ResultRecordWriter writer(nullptr);
    writer.trouble_ = Problem{*value, u"keine Deskriptornummer ab 3"};
    return writer;
  }
  auto stream = std::make_unique<HandedStream>(*number);
  if (!stream->IsOpen()) {
    ResultRecordWriter writer(nullptr);
    writer.trouble_ = Problem{*value, stream->FailureReason()};
    return writer;
  }
  return ResultRecordWriter(std::move(stream), *value);
}

ResultRecordWriter::ResultRecordWriter(std::unique_ptr<HandedStream> stream, std::u16string value)
    : stream_(std::move(stream)), value_(std::move(value)) {
  if (stream_) Write(VersionRecord{});
}

void ResultRecordWriter::ReadProgress(uint64_t done, uint64_t total, uint64_t milliseconds) {
  Write(ReadProgressRecord{done, total, milliseconds});
}

void ResultRecordWriter::ServerStep() { Write(ServerStepRecord{}); }

void ResultRecordWriter::Finish(const RunEnd& end) {
  // The lines as standard output has them: the report's CR LF separate them.
  const std::u16string& report = end.error_report;
  for (size_t start = 0; start < report.size();) {
    size_t stop = report.find(u"\r\n", start);
    if (stop == std::u16string::npos) stop = report.size();
    Write(ErrorLineRecord{ToNarrow(report.substr(start, stop - start))});
    start = stop + 2;
  }
  Write(RunEndRecord{end.outcome, end.milliseconds, end.error_code});
}

void ResultRecordWriter::Write(const ResultRecord& record) {
  if (!stream_) return;
  if (!stream_->Write(FormatResultRecord(record))) {
    trouble_ = Problem{value_, stream_->FailureReason()};
    stream_.reset();  // one failure is enough: the rest would fail the same way
  }
}
