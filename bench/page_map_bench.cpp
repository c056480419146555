// What the page-role map finds in a database file and what building it costs: reads FILE once
// in 64 MiB chunks (cut at an odd place, so that pages are split across chunk ends), times the
// classification of every chunk apart from the reads (ns per page), prints each role's share,
// how many runs the pages other than data and blobs form, the bytes of the upper b-tree
// levels, and the plan of the index groups (everything before table data) with several merge
// gaps and largest requests: bytes read beside the index bytes, runs before and after merging.
//
// Usage: page_map_bench FILE [ROUNDS]   (read-only; ROUNDS repeats the classification timing
// over one chunk held in memory)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "pages/database_header.h"
#include "pages/page_map_builder.h"
#include "pages/page_stream.h"
#include "pages/read_plan.h"
#include "platform/files.h"
#include "platform/text_encoding.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Pages other than data, blobs, free and empty: what the index groups read.
bool IsIndexPage(PageKind kind) {
  return kind != PageKind::Data && kind != PageKind::Blob && kind != PageKind::Free &&
         kind != PageKind::Empty && kind != PageKind::Unknown;
}

void PrintShares(const PageMap& map) {
  std::map<PageKind, uint64_t> pages;
  std::map<int, uint64_t> levels;
  uint64_t index_runs = 0;
  bool in_index_run = false;
  for (const PageRun& run : map.runs()) {
    pages[run.role.kind] += run.count;
    if (run.role.kind == PageKind::BTree) levels[run.role.level] += run.count;
    const bool index = IsIndexPage(run.role.kind);
    if (index && !in_index_run) ++index_runs;
    in_index_run = index;
  }
  const double total = map.page_count();
  std::printf("| role | pages | share | MiB |\n|---|---:|---:|---:|\n");
  uint64_t index_pages = 0;
  for (const auto& [kind, count] : pages) {
    std::printf("| %s | %llu | %.3f %% | %.1f |\n", std::string(PageKindName(kind)).c_str(),
                static_cast<unsigned long long>(count), 100.0 * count / total,
                count * double(map.page_size()) / 1048576);
    if (IsIndexPage(kind)) index_pages += count;
  }
  std::printf("\nb-tree pages by level:");
  uint64_t upper = 0;
  for (const auto& [level, count] : levels) {
    std::printf(" %d: %llu;", level, static_cast<unsigned long long>(count));
    if (level > 0 && level != PageRole::kNoLevel) upper += count;
  }
  std::printf("\nupper levels: %.2f MiB\n", upper * double(map.page_size()) / 1048576);
  std::printf(
      "pages other than data, blobs, free and empty: %llu (%.2f %%, %.1f MiB) in %llu "
      "runs; map runs in all: %zu\n\n",
      static_cast<unsigned long long>(index_pages), 100.0 * index_pages / total,
      index_pages * double(map.page_size()) / 1048576, static_cast<unsigned long long>(index_runs),
      map.runs().size());
}

void PrintPlans(const PageMap& map) {
  std::printf(
      "| gap KiB | largest MiB | requests | runs before | bytes MiB | index MiB | "
      "bytes / index |\n|---:|---:|---:|---:|---:|---:|---:|\n");
  // A budget that takes the index groups and no table.
  uint64_t index_pages = 0;
  for (const ValueGroup& group : GroupsByValue(map))
    if (group.stage < ValueStage::TableData) index_pages += group.pages;
  for (uint64_t gap_kib : {0, 8, 32, 64, 128, 256, 1024}) {
    for (uint64_t max_mib : {1, 8}) {
      PlanLimits limits;
      limits.merge_gap_bytes = gap_kib * 1024;
      limits.max_request_bytes = max_mib * 1048576;
      limits.budget_bytes = uint64_t{map.page_size()} * index_pages * 4;
      const ReadPlan plan = PlanReads(map, limits);
      const IndexFigures& index = plan.index;
      std::printf("| %llu | %llu | %llu | %llu | %.1f | %.1f | %.3f |\n",
                  static_cast<unsigned long long>(gap_kib),
                  static_cast<unsigned long long>(max_mib),
                  static_cast<unsigned long long>(index.requests),
                  static_cast<unsigned long long>(index.runs), index.bytes / 1048576.0,
                  index.page_bytes / 1048576.0, double(index.bytes) / index.page_bytes);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: page_map_bench FILE [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 20;
  SequentialFile file(FromNarrow(argv[1]));
  if (!file.IsOpen()) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  // An odd chunk size: pages are split across chunk ends.
  std::vector<uint8_t> buffer(64 * 1048576 + 1000);
  int64_t got = file.Read(buffer.data(), buffer.size());
  const std::optional<DatabaseHeader> header =
      ReadDatabaseHeader(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
  if (!header) {
    std::fprintf(stderr, "%s: no database header this program reads\n", argv[1]);
    return 1;
  }
  const uint32_t page_count = static_cast<uint32_t>(file.Size() / header->page_size);
  PageMapBuilder builder(header->page_size, page_count);
  PageStream stream(header->page_size, builder);
  uint64_t offset = 0;
  double classify = 0;
  const Clock::time_point start = Clock::now();
  while (got > 0) {
    const Clock::time_point before = Clock::now();
    stream.Feed(offset, buffer.data(), static_cast<size_t>(got));
    classify += Seconds(before);
    offset += static_cast<uint64_t>(got);
    got = file.Read(buffer.data(), buffer.size());
  }
  const Clock::time_point finishing = Clock::now();
  const PageMap map = builder.Finish();
  const double finish = Seconds(finishing);
  const double total = Seconds(start);
  std::printf("%s: ODS %u.%u, page size %u, %u pages\n\n", argv[1], header->ods_major,
              header->ods_minor, header->page_size, page_count);
  std::printf(
      "read and classified in %.2f s; classification %.3f s (%.1f ns per page), "
      "finishing the map %.3f s\n",
      total, classify, 1e9 * classify / page_count, finish);

  // The classification alone over one chunk held in memory (no cache misses of the read).
  SequentialFile again_file(FromNarrow(argv[1]));
  got = again_file.Read(buffer.data(), 64 * 1048576);
  const uint32_t chunk_pages = static_cast<uint32_t>(got / header->page_size);
  double best = 1e9;
  for (int round = 0; round < rounds; ++round) {
    PageMapBuilder again(header->page_size, page_count);
    PageStream again_stream(header->page_size, again);
    const Clock::time_point before = Clock::now();
    again_stream.Feed(0, buffer.data(), uint64_t{chunk_pages} * header->page_size);
    best = std::min(best, Seconds(before));
  }
  std::printf("one 64 MiB chunk in memory, best of %d: %.1f ns per page\n\n", rounds,
              1e9 * best / chunk_pages);
  PrintShares(map);
  PrintPlans(map);
  return 0;
}
