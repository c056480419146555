#include "tool/fit_read.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "pages/database_header.h"
#include "pages/map_check.h"
#include "pages/page_map_builder.h"
#include "pages/page_stream.h"
#include "platform/state_file.h"
#include "tool/read_through.h"

namespace {

// Enough for the header page's fields of every page size.
constexpr size_t kHeaderBytes = 1024;

int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Without read-ahead: a plan may not want the pages after the header.
std::optional<DatabaseHeader> ReadHeader(SequentialFile& file, char* buffer) {
  file.AllowReadAhead(false);
  const int64_t n = file.ReadAt(0, buffer, kHeaderBytes);
  if (n <= 0) return std::nullopt;
  return ReadDatabaseHeader(reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(n));
}

// Reads the whole file from the start in the plain read-through's requests, handing every
// byte to the stream.
FitReadTally ReadWhole(SequentialFile& file, PageStream& stream, char* buffer,
                       const std::function<void(uint64_t, uint64_t)>& progress) {
  file.AllowReadAhead(true);
  FitReadTally tally;
  const uint64_t total = file.Size();
  uint64_t offset = 0;
  while (true) {
    const int64_t n = file.ReadAt(offset, buffer, kReadThroughRequestSize);
    if (n <= 0) {
      tally.failed = n < 0;
      break;
    }
    stream.Feed(offset, reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(n));
    offset += static_cast<uint64_t>(n);
    tally.bytes_read += static_cast<uint64_t>(n);
    if (progress) progress(offset, total);
  }
  return tally;
}

// Reads the plan's requests in their order, handing each to the stream.
FitReadTally ReadPlanned(SequentialFile& file, const ReadPlan& plan, PageStream& stream,
                         char* buffer,
                         const std::function<bool(uint64_t, uint64_t)>& already_cached,
                         const std::function<void(uint64_t, uint64_t)>& progress,
                         uint64_t* requests_read) {
  FitReadTally tally;
  uint64_t done = 0;
  for (const ReadRequest& request : plan.requests) {
    if (already_cached && already_cached(request.offset, request.length)) {
      tally.bytes_skipped += request.length;
    } else {
      uint64_t at = request.offset;
      const uint64_t end = request.offset + request.length;
      while (at < end) {
        const size_t want =
            static_cast<size_t>(std::min<uint64_t>(end - at, kReadThroughRequestSize));
        const int64_t n = file.ReadAt(at, buffer, want);
        if (n < 0) {
          tally.failed = true;
          return tally;
        }
        if (n == 0) break;  // the file shrank: the rest of the plan is past its end
        stream.Feed(at, reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(n));
        at += static_cast<uint64_t>(n);
        tally.bytes_read += static_cast<uint64_t>(n);
      }
      ++*requests_read;
    }
    done += request.length;
    if (progress) progress(done, plan.bytes);
  }
  return tally;
}

void Add(FitReadTally& sum, const FitReadTally& part) {
  sum.bytes_read += part.bytes_read;
  sum.bytes_skipped += part.bytes_skipped;
  sum.failed = sum.failed || part.failed;
}

PlanLimits Limits(uint64_t budget_bytes) {
  PlanLimits limits;
  limits.budget_bytes = budget_bytes;
  return limits;
}

// Checks the pages of one planned pass against map; returns the corrected map.
PageMap ReadPlanChecked(SequentialFile& file, const PageMap& map, const DatabaseHeader& header,
                        FitOutcome& outcome, FitReadTally& tally, char* buffer,
                        const std::function<bool(uint64_t, uint64_t)>& already_cached,
                        const std::function<void(uint64_t, uint64_t)>& progress) {
  outcome.plan = PlanReads(map, Limits(outcome.budget_bytes));
  MapCheck check(map);
  PageStream stream(header.page_size, check);
  file.AllowReadAhead(false);
  Add(tally, ReadPlanned(file, outcome.plan, stream, buffer, already_cached, progress,
                         &outcome.plan_requests_read));
  outcome.plan_bytes_skipped = tally.bytes_skipped;
  outcome.pages_checked += check.pages_checked();
  outcome.pages_corrected += check.pages_corrected();
  return check.pages_corrected() > 0 || check.inventories_read() ? check.Corrected() : map;
}

}  // namespace

std::pair<uint64_t, BudgetSource> ChooseBudget(const std::optional<uint64_t>& given,
                                               const std::optional<CacheRoom>& room,
                                               uint64_t file_size) {
  if (given) return {*given, BudgetSource::Given};
  if (room) return {room->bytes, BudgetSource::CacheRoom};
  return {file_size, BudgetSource::None};
}

FitStart PrepareFit(SequentialFile& file, const std::u16string& path, const FitChoice& choice,
                    const std::optional<CacheRoom>& room) {
  FitStart start;
  FitOutcome& outcome = start.outcome;
  std::tie(outcome.budget_bytes, outcome.budget_source) =
      ChooseBudget(choice.budget_bytes, room, file.Size());
  std::array<char, kHeaderBytes> header_bytes;
  start.header = ReadHeader(file, header_bytes.data());
  const std::optional<FileIdentity> identity = IdentifyFile(path);
  if (!start.header || !identity) {
    outcome.not_a_database = true;
    return start;
  }
  start.key = MapKey{*identity, *start.header};
  if (!choice.state_directory.empty()) start.store.emplace(choice.state_directory);
  if (start.store) outcome.map_path = start.store->PathFor(path);
  if (start.store) start.loaded = start.store->Load(path, *start.key);
  outcome.found = start.loaded.status;
  outcome.full_read = !start.loaded.stored;
  return start;
}

std::optional<PageMap> MapByReadingWhole(SequentialFile& file, char* buffer) {
  const std::optional<DatabaseHeader> header = ReadHeader(file, buffer);
  if (!header) return std::nullopt;
  const uint64_t pages = file.Size() / header->page_size;
  if (pages == 0 || pages > 0x7FFFFFFF) return std::nullopt;
  PageMapBuilder builder(header->page_size, static_cast<uint32_t>(pages));
  PageStream stream(header->page_size, builder);
  if (ReadWhole(file, stream, buffer, nullptr).failed) return std::nullopt;
  return builder.Finish();
}

FitReadResult FitRead(SequentialFile& file, const std::u16string& path, FitStart start,
                      char* buffer, const std::function<bool(uint64_t, uint64_t)>& already_cached,
                      const std::function<void(uint64_t, uint64_t)>& progress) {
  FitReadResult result;
  FitOutcome& outcome = result.outcome;
  outcome = std::move(start.outcome);
  if (outcome.not_a_database) {
    // Nothing to classify by: the plain read-through, from the start.
    PageMapBuilder ignored(4096, 0);
    PageStream stream(4096, ignored);
    result.tally = ReadWhole(file, stream, buffer, progress);
    return result;
  }
  const DatabaseHeader& header = *start.header;
  const MapKey& key = *start.key;
  const LoadedMap& loaded = start.loaded;

  PageMap map;
  if (loaded.stored) {
    outcome.map_written_at = loaded.stored->written_at;
    map = ReadPlanChecked(file, loaded.stored->map, header, outcome, result.tally, buffer,
                          already_cached, progress);
  } else {
    const uint32_t page_count = static_cast<uint32_t>(key.file.size / header.page_size);
    PageMapBuilder builder(header.page_size, page_count);
    PageStream stream(header.page_size, builder);
    result.tally = ReadWhole(file, stream, buffer, progress);
    map = builder.Finish();
    // A file larger than the budget: the pages worth the most once more, so that they are
    // the ones read last. Otherwise the plan only tells the later steps what fits: all of it.
    if (!result.tally.failed && outcome.budget_bytes < key.file.size)
      map = ReadPlanChecked(file, map, header, outcome, result.tally, buffer, already_cached,
                            progress);
    else
      outcome.plan = PlanReads(map, Limits(outcome.budget_bytes));
    outcome.pages_checked = builder.pages_seen();  // the second pass saw them again
  }
  if (result.tally.failed) return result;  // what was read may be cut short: keep the old map

  const bool changed = !loaded.stored || !(map == loaded.stored->map);
  if (start.store && changed) {
    std::u16string failure;
    StoredMap stored{key, NowSeconds(), map};
    outcome.saved = start.store->Save(path, stored, &failure);
    if (!outcome.saved) outcome.save_failure = failure;
  }
  outcome.map = std::move(map);
  return result;
}
