#include "tool/file_cache_step.h"

#include <chrono>

#include "platform/cache_memory.h"
#include "platform/files.h"
#include "platform/residency.h"
#include "tool/read_through_buffer.h"

namespace {

ResidentPages TrustedResidency(FileResidency& residency) {
  return residency.State() == ResidencyState::Trusted ? residency.QueryAll() : ResidentPages{};
}

// Skipped pages are not marked as used by a read, so only a trusted "all of it" counts.
bool WhollyCached(FileResidency& residency, uint64_t offset, uint64_t length) {
  if (offset >= residency.Size()) return false;
  const ResidentPages pages = residency.Query(offset, length);
  return residency.State() == ResidencyState::Trusted && pages.total > 0 && pages.Whole();
}

}  // namespace

void WarmFileCache(const std::u16string& path, bool skip_cached, OperatorReport& report,
                   ResultRecordWriter* records) {
  FileResidency residency(path);
  SequentialFile file(path);
  // Windows has no residency answer, so the size comes from the file itself.
  const uint64_t size = file.IsOpen() ? file.Size() : residency.Size();
  const ResidentPages before = TrustedResidency(residency);
  const std::optional<uint64_t> available = MemoryAvailableForCache();
  const SkipRefusal refusal = DecideSkip(residency.State(), size, available);
  if (!file.IsOpen()) {
    if (!file.FailureReason().empty())
      report.FileUnreadable(path, file.FailureReason(), DescribeOwnership(path));
  } else {
    if (available) report.MemoryShort(size, *available, before.resident * residency.PageSize());
    if (skip_cached) report.SkipRefused(refusal, size, available.value_or(0));
  }
  std::unique_ptr<char[]> buffer = AllocateReadThroughBuffer();
  ReadThroughHooks hooks;
  if (skip_cached && refusal == SkipRefusal::None)
    hooks.already_cached = [&](uint64_t offset, uint64_t length) {
      return WhollyCached(residency, offset, length);
    };
  const auto start = std::chrono::steady_clock::now();
  hooks.progress = [&](uint64_t done) {
    report.Progress(done, size);
    if (records)
      records->ReadProgress(done, size,
                            std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count());
  };
  SequentialFileSource source(file);
  const ReadThroughTally tally = ReadThrough(source, buffer.get(), hooks);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  report.ProgressEnd();
  if (!file.IsOpen()) return;
  if (tally.failed)
    report.ReadBroken(path, file.FailureReason(), tally.bytes_read + tally.bytes_skipped);

  ReadThroughSummary summary;
  summary.size = size;
  summary.before = before;
  summary.after = TrustedResidency(residency);
  summary.residency = residency.State();  // a failed query leaves the answer unavailable
  summary.page_size = residency.PageSize();
  summary.bytes_read = tally.bytes_read;
  summary.bytes_skipped = tally.bytes_skipped;
  summary.seconds = seconds;
  report.ReadThroughDone(summary);
}
