// The reads that bring a database's most valuable pages into the file cache within a byte
// budget: the groups of value_order.h in their order, each as few requests as sensible (runs
// of wanted pages joined across small gaps, no request above a largest size), never a page
// twice, stopping at the budget. A table's data is read whole or not at all. When the budget
// holds every page before the table data, those pages are read in one pass in file order,
// which needs fewer requests than one pass per group; only a smaller budget needs the order.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pages/page_map.h"
#include "pages/value_order.h"

struct PlanLimits {
  uint64_t budget_bytes = 0;
  // Runs of wanted pages whose gap is at most this many bytes are read as one request, gap
  // included: under a limit of requests per second a short gap costs less than a request.
  // 64 KiB read 0.2 % and 0.6 % more than the index pages of the test databases, where a gap of
  // 1 MiB read 3.5 times as much (bench/results/page_map.md).
  uint64_t merge_gap_bytes = 64 * 1024;
  // No request is longer than this; a longer run is read in pieces. 8 MiB is what one readahead
  // call brings in here, so a request can also be one such call.
  uint64_t max_request_bytes = 8 * 1024 * 1024;
};

struct ReadRequest {
  uint64_t offset = 0;
  uint64_t length = 0;

  bool operator==(const ReadRequest&) const = default;
};

struct TableFit {
  uint16_t relation = PageRole::kNoRelation;
  uint64_t pages = 0;
  bool included = false;
};

// What the plan reads of the pages before the table data (header, inventories, pointer,
// index-root and b-tree pages).
struct IndexFigures {
  uint64_t requests = 0;
  uint64_t bytes = 0;       // of those requests, gaps included
  uint64_t page_bytes = 0;  // of the pages themselves, whichever request reads them
  uint64_t runs = 0;        // runs those pages form: the requests there would be unmerged
};

struct ReadPlan {
  std::vector<ReadRequest> requests;  // in reading order
  uint64_t bytes = 0;                 // all requests together
  IndexFigures index;
  // True when every page before the table data is in the plan.
  bool indexes_complete = false;
  // Pages of each stage in the plan, whichever request reads them.
  std::array<uint64_t, kValueStageCount> stage_pages{};
  std::vector<TableFit> tables;  // every table with data pages, in the order considered
};

ReadPlan PlanReads(const PageMap& map, const PlanLimits& limits);

// Page numbers in the order of their value, at most max_pages of them, a table's data pages
// all or none: what to fetch one page at a time through the server's own cache.
std::vector<uint32_t> PagesByValue(const PageMap& map, uint64_t max_pages);
