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

// Skipped pages are not marked as used by a read, so only a trusted "all of it" counts. The
// answer covers the file as it is now: data appended during the run is checked like the rest.
bool WhollyCached(FileResidency& residency, uint64_t offset, uint64_t length) {
  const ResidentPages pages = residency.Query(offset, length);
  return residency.State() == ResidencyState::Trusted && pages.total > 0 && pages.Whole();
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

void WarmFileCache(const std::u16string& path, bool skip_cached, OperatorReport& report,
                   ResultRecordWriter* records) {
  FileResidency residency(path);
  SequentialFile file(path);
  // Windows has no residency answer, so the size comes from the file itself.
  const uint64_t start_size = file.IsOpen() ? file.Size() : residency.Size();
  const ResidentPages before = TrustedResidency(residency);
  const SkipRefusal refusal = DecideSkip(residency.State());
  if (!file.IsOpen()) {
    if (!file.FailureReason().empty())
      report.FileUnreadable(path, file.FailureReason(), DescribeOwnership(path));
  } else {
    if (const std::optional<CacheRoom> room = CacheRoomForFiles())
      report.MemoryShort(start_size, *room);
    if (skip_cached) report.SkipRefused(refusal);
  }
  std::unique_ptr<char[]> buffer = AllocateReadThroughBuffer();
  ReadThroughHooks hooks;
  if (skip_cached && refusal == SkipRefusal::None)
    hooks.already_cached = [&](uint64_t offset, uint64_t length) {
      return WhollyCached(residency, offset, length);
    };
  const auto start = std::chrono::steady_clock::now();
  hooks.progress = [&](uint64_t done) {
    const double seconds = SecondsSince(start);
    report.Progress(done, start_size, seconds);
    if (records)
      records->ReadProgress(done, start_size, static_cast<uint64_t>(seconds * 1000));
  };
  SequentialFileSource source(file);
  const ReadThroughTally tally = ReadThrough(source, buffer.get(), hooks);
  const double seconds = SecondsSince(start);
  report.ProgressEnd();
  if (!file.IsOpen()) return;
  if (tally.failed)
    report.ReadBroken(path, file.FailureReason(), tally.bytes_read + tally.bytes_skipped);

  ReadThroughSummary summary;
  summary.start_size = start_size;
  summary.size = file.Size();  // the file may have grown or shrunk while it was read
  summary.before = before;
  summary.after = TrustedResidency(residency);
  summary.residency = residency.State();  // a failed query leaves the answer unavailable
  summary.page_size = residency.PageSize();
  summary.bytes_read = tally.bytes_read;
  summary.bytes_skipped = tally.bytes_skipped;
  summary.seconds = seconds;
  report.ReadThroughDone(summary);
}
