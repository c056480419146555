// Builds the page-role map of a database file from its pages as a read-through reads them
// (through a PageStream), in ascending order: each page's role, the free pages of each page
// inventory, and for encrypted data pages the table from the pointer pages that list them.
#pragma once

#include <cstdint>
#include <vector>

#include "pages/page_map.h"
#include "pages/page_stream.h"

class PageMapBuilder : public PageSink {
 public:
  // For a file of page_count pages of page_size bytes.
  PageMapBuilder(uint32_t page_size, uint32_t page_count);

  void Page(uint32_t number, const uint8_t* bytes) override;

  // Pages seen so far.
  uint64_t pages_seen() const { return pages_seen_; }

  // The map: pages never handed over are Unknown.
  PageMap Finish() const;

 private:
  uint32_t page_size_;
  uint32_t page_count_;
  uint64_t pages_seen_ = 0;
  std::vector<PageRun> runs_;         // pages in ascending order, gaps allowed
  std::vector<PageRun> late_;         // pages that came after a higher one
  std::vector<PageSpan> free_;        // from the page inventories
  std::vector<PageRun> listed_data_;  // data pages by the pointer pages that list them
};
