// Checks pages read by plan against the page-role map (through a PageStream) and corrects the
// map where a page is no longer what it says: a page freed and reused by another table, an
// index rebuilt elsewhere, a page inventory that marks other pages free now.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pages/page_map.h"
#include "pages/page_stream.h"

class MapCheck : public PageSink {
 public:
  // The map must outlive the check.
  explicit MapCheck(const PageMap& map);

  void Page(uint32_t number, const uint8_t* bytes) override;

  uint64_t pages_checked() const { return pages_checked_; }
  // Pages checked by their kind as read (Free for pages the map holds free, which may still
  // hold what they held before).
  const std::array<uint64_t, kPageKindCount>& checked_by_kind() const { return by_kind_; }
  // Pages whose role differed from the map's.
  uint64_t pages_corrected() const { return changes_.size(); }
  bool inventories_read() const { return !inventories_.empty(); }

  // The map with what was read: the roles of the pages that differed and the free pages of the
  // page inventories read.
  PageMap Corrected() const;

 private:
  const PageRun* MappedRun(uint32_t number);

  const PageMap& map_;
  size_t cursor_ = 0;  // the run of the last page checked: plans read in ascending runs
  uint64_t pages_checked_ = 0;
  std::array<uint64_t, kPageKindCount> by_kind_{};
  std::vector<std::pair<uint32_t, PageRole>> changes_;
  struct Inventory {
    PageSpan covered;
    std::vector<PageSpan> free;
  };
  std::vector<Inventory> inventories_;
};
