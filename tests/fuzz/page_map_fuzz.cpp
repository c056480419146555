// The page-role map over arbitrary bytes. Input: one byte that chooses what the rest is.
// Even: a map file; whatever decodes must encode to the same bytes and describe every page once.
// Odd: a database file of 4 KiB pages, read in chunks of a size the second byte chooses; the
// map built from it covers every page, checking the same pages against it finds nothing to
// correct, and plans over it stay within the file and the budget and read no page twice.
#include <algorithm>

#include "pages/map_check.h"
#include "pages/map_file.h"
#include "pages/page_map_builder.h"
#include "pages/page_stream.h"
#include "pages/read_plan.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr uint32_t kPage = 4096;

void CheckCovers(const PageMap& map) {
  uint32_t next = 0;
  for (const PageRun& run : map.runs()) {
    FUZZ_CHECK(run.first == next && run.count > 0);
    next = run.end();
  }
  FUZZ_CHECK(next == map.page_count());
}

void MapFile(std::string_view bytes) {
  const std::optional<StoredMap> stored = DecodeMapFile(bytes);
  if (!stored) return;
  FUZZ_CHECK(EncodeMapFile(*stored) == bytes);
  CheckCovers(stored->map);
}

void CheckPlan(const PageMap& map, uint64_t budget_pages, uint64_t gap_pages) {
  PlanLimits limits;
  limits.budget_bytes = budget_pages * kPage;
  limits.merge_gap_bytes = gap_pages * kPage;
  limits.max_request_bytes = 8 * kPage;
  const ReadPlan plan = PlanReads(map, limits);
  FUZZ_CHECK(plan.bytes <= limits.budget_bytes);
  std::vector<std::pair<uint64_t, uint64_t>> reads;
  uint64_t bytes = 0;
  for (const ReadRequest& request : plan.requests) {
    FUZZ_CHECK(request.length > 0 && request.length % kPage == 0 && request.offset % kPage == 0);
    FUZZ_CHECK(request.offset + request.length <= uint64_t{map.page_count()} * kPage);
    reads.push_back({request.offset, request.offset + request.length});
    bytes += request.length;
  }
  FUZZ_CHECK(bytes == plan.bytes);
  std::sort(reads.begin(), reads.end());
  for (size_t i = 1; i < reads.size(); ++i) FUZZ_CHECK(reads[i - 1].second <= reads[i].first);

  std::vector<uint32_t> pages = PagesByValue(map, budget_pages);
  FUZZ_CHECK(pages.size() <= budget_pages);
  std::sort(pages.begin(), pages.end());
  FUZZ_CHECK(std::adjacent_find(pages.begin(), pages.end()) == pages.end());
  for (uint32_t page : pages) {
    const PageKind kind = map.RoleOf(page).kind;
    FUZZ_CHECK(kind != PageKind::Free && kind != PageKind::Empty);
  }
}

void DatabaseFile(std::string_view bytes) {
  if (bytes.empty()) return;
  const size_t chunk = 1 + static_cast<uint8_t>(bytes[0]) * 97;
  bytes.remove_prefix(1);
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint32_t page_count = static_cast<uint32_t>(bytes.size() / kPage);
  PageMapBuilder builder(kPage, page_count);
  PageStream stream(kPage, builder);
  for (size_t at = 0; at < bytes.size(); at += chunk)
    stream.Feed(at, data + at, std::min(chunk, bytes.size() - at));
  const PageMap map = builder.Finish();
  FUZZ_CHECK(map.page_count() == page_count);
  CheckCovers(map);
  for (const PageRun& run : map.runs())
    FUZZ_CHECK(run.role.kind != PageKind::Unknown || run.role == PageRole{});

  MapCheck check(map);
  for (uint32_t page = 0; page < page_count; ++page) check.Page(page, data + size_t{page} * kPage);
  FUZZ_CHECK(check.pages_corrected() == 0);
  FUZZ_CHECK(check.Corrected() == map);

  for (uint64_t budget : {uint64_t{0}, uint64_t{3}, uint64_t{page_count}})
    for (uint64_t gap : {0, 2}) CheckPlan(map, budget, gap);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view rest = Bytes(data + 1, size - 1);
  if (data[0] % 2 == 0)
    MapFile(rest);
  else
    DatabaseFile(rest);
  return 0;
}
