#include "tool/file_cache_step.h"

#include <chrono>

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

FileCacheStep::FileCacheStep(const std::u16string& path, bool skip_cached)
    : file_(path), residency_(file_) {
  plan_.path = path;
  plan_.opened = file_.IsOpen();
  before_ = TrustedResidency(residency_);
  plan_.skip_asked = skip_cached;
  if (skip_cached) plan_.skip_refusal = DecideSkip(residency_.State());
  if (!file_.IsOpen()) {
    if (!file_.FailureReason().empty())
      plan_.open_failure =
          ReadThroughPlan::OpenFailure{file_.FailureReason(), DescribeOwnership(path)};
    return;
  }
  plan_.size = file_.Size();
  plan_.room_short = RoomTooSmall(plan_.size, CacheRoomForFiles());
}

std::optional<ReadThroughSummary> FileCacheStep::Run(
    const std::function<void(const ReadProgress&)>& progress) {
  std::unique_ptr<char[]> buffer = AllocateReadThroughBuffer();
  ReadThroughHooks hooks;
  if (plan_.skip_asked && plan_.skip_refusal == SkipRefusal::None)
    hooks.already_cached = [this](uint64_t offset, uint64_t length) {
      return WhollyCached(residency_, offset, length);
    };
  const auto start = std::chrono::steady_clock::now();
  hooks.progress = [&](uint64_t done) {
    if (progress) progress({done, plan_.size, SecondsSince(start)});
  };
  SequentialFileSource source(file_);
  const ReadThroughTally tally = ReadThrough(source, buffer.get(), hooks);
  const double seconds = SecondsSince(start);
  if (!file_.IsOpen()) return std::nullopt;

  ReadThroughSummary summary;
  summary.path = plan_.path;
  summary.start_size = plan_.size;
  summary.size = file_.Size();  // the file may have grown or shrunk while it was read
  summary.before = before_;
  summary.after = TrustedResidency(residency_);
  summary.residency = residency_.State();  // a failed query leaves the answer unavailable
  summary.page_size = residency_.PageSize();
  summary.bytes_read = tally.bytes_read;
  summary.bytes_skipped = tally.bytes_skipped;
  summary.seconds = seconds;
  if (tally.failed)
    summary.broken =
        ReadThroughSummary::Break{file_.FailureReason(), tally.bytes_read + tally.bytes_skipped};
  return summary;
}
