// The reference of the /FIT benchmark: a file cache holding the index, pointer and inventory
// pages of a database and nothing else. "plan" reads FILE once, classifies its pages and writes
// the runs of those pages (everything before table data) to RANGES, one "offset length" line
// each, and prints on standard output, as one JSON line, their bytes and runs and the requests
// and bytes of the plan that reads them merged. "read" then reads exactly those ranges, without
// read-ahead, and prints the bytes and seconds.
//
// Usage: index_pages plan FILE RANGES
//        index_pages read FILE RANGES
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "pages/database_header.h"
#include "pages/page_map_builder.h"
#include "pages/page_spans.h"
#include "pages/page_stream.h"
#include "pages/read_plan.h"
#include "pages/value_order.h"
#include "platform/files.h"
#include "platform/text_encoding.h"

namespace {

constexpr size_t kChunk = 64u * 1024 * 1024;

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "index_pages: %s\n", why.c_str());
  std::exit(1);
}

int Plan(const char* path, const char* ranges_path) {
  SequentialFile file(FromNarrow(path));
  if (!file.IsOpen()) Fail("cannot open the file");
  std::vector<uint8_t> buffer(kChunk);
  const int64_t got = file.ReadAt(0, buffer.data(), 1024);
  const auto header = ReadDatabaseHeader(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
  if (!header) Fail("no database header of a known layout");
  const uint64_t size = file.Size();
  PageMapBuilder builder(header->page_size, static_cast<uint32_t>(size / header->page_size));
  PageStream stream(header->page_size, builder);
  for (uint64_t offset = 0;;) {
    const int64_t n = file.ReadAt(offset, buffer.data(), kChunk);
    if (n < 0) Fail("read failed");
    if (n == 0) break;
    stream.Feed(offset, buffer.data(), static_cast<size_t>(n));
    offset += static_cast<uint64_t>(n);
  }
  const PageMap map = builder.Finish();
  std::vector<PageSpan> index;
  for (const ValueGroup& group : GroupsByValue(map))
    if (IsIndexStage(group.stage)) index = UniteSpans(index, group.spans);
  std::ofstream out(ranges_path);
  for (const PageSpan& span : index)
    out << uint64_t{span.first} * header->page_size << ' '
        << uint64_t{span.count} * header->page_size << '\n';
  // Room for everything: the plan's index figures are those of all index pages, merged.
  PlanLimits limits;
  limits.budget_bytes = size;
  const ReadPlan plan = PlanReads(map, limits);
  const uint64_t index_bytes = CountPages(index) * header->page_size;
  std::printf(
      "{\"page_size\": %u, \"index_bytes\": %llu, \"index_runs\": %zu, \"plan_requests\": %llu, "
      "\"plan_bytes\": %llu, \"plan_page_bytes\": %llu, \"plan_runs\": %llu, \"complete\": %s}\n",
      header->page_size, static_cast<unsigned long long>(index_bytes), index.size(),
      static_cast<unsigned long long>(plan.index.requests),
      static_cast<unsigned long long>(plan.index.bytes),
      static_cast<unsigned long long>(plan.index.page_bytes),
      static_cast<unsigned long long>(plan.index.runs), plan.indexes_complete ? "true" : "false");
  return 0;
}

int Read(const char* path, const char* ranges_path) {
  SequentialFile file(FromNarrow(path));
  if (!file.IsOpen()) Fail("cannot open the file");
  file.AllowReadAhead(false);
  std::ifstream in(ranges_path);
  std::vector<uint8_t> buffer(kChunk);
  uint64_t offset = 0, length = 0, bytes = 0, requests = 0;
  const auto start = std::chrono::steady_clock::now();
  while (in >> offset >> length) {
    for (uint64_t at = offset; at < offset + length;) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(offset + length - at, kChunk));
      const int64_t n = file.ReadAt(at, buffer.data(), want);
      if (n <= 0) Fail("read failed");
      at += static_cast<uint64_t>(n);
      bytes += static_cast<uint64_t>(n);
    }
    ++requests;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("{\"bytes\": %llu, \"requests\": %llu, \"seconds\": %.3f}\n",
              static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(requests),
              seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) Fail("usage: index_pages plan|read FILE RANGES");
  const std::string mode = argv[1];
  if (mode == "plan") return Plan(argv[2], argv[3]);
  if (mode == "read") return Read(argv[2], argv[3]);
  Fail("usage: index_pages plan|read FILE RANGES");
}
