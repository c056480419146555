// The reads that bring a database's most valuable pages into the file cache within a byte
// budget: the groups of value_order.h in their order, each as few requests as sensible (runs
// of wanted pages joined across small gaps, no request above a largest size), never a page
// twice, stopping at the budget. A table's data is read whole or not at all.
#pragma once

#include <cstdint>
#include <vector>

#include "pages/page_map.h"
#include "pages/value_order.h"

struct PlanLimits {
  uint64_t budget_bytes = 0;
  // Runs of wanted pages whose gap is at most this many bytes are read as one request, gap
  // included: under a limit of requests per second a short gap costs less than a request.
  uint64_t merge_gap_bytes = 64 * 1024;
  // No request is longer than this; a longer run is read in pieces.
  uint64_t max_request_bytes = 8 * 1024 * 1024;
};

struct ReadRequest {
  uint64_t offset = 0;
  uint64_t length = 0;
  ValueStage stage = ValueStage::HeaderAndInventories;

  bool operator==(const ReadRequest&) const = default;
};

struct TableFit {
  uint16_t relation = PageRole::kNoRelation;
  uint64_t pages = 0;
  bool included = false;
};

struct ReadPlan {
  std::vector<ReadRequest> requests;  // in reading order
  uint64_t bytes = 0;                 // all requests together
  // Runs of wanted pages before joining them, and the requests they became (both for the
  // requests in the plan).
  uint64_t runs_before_merging = 0;
  // Bytes of header, inventory, pointer, index-root and b-tree pages in the plan, without the
  // gaps read with them.
  uint64_t index_bytes = 0;
  // True when every page of the groups before the table data is in the plan.
  bool indexes_complete = false;
  std::vector<TableFit> tables;  // every table with data pages, in the order considered
};

ReadPlan PlanReads(const PageMap& map, const PlanLimits& limits);

// Page numbers in the order of their value, at most max_pages of them, a table's data pages
// all or none: what to fetch one page at a time through the server's own cache.
std::vector<uint32_t> PagesByValue(const PageMap& map, uint64_t max_pages);
