// The page-role map of a database file: the role of every page, kept as runs of consecutive
// pages with one role, so a database of millions of pages takes a few thousand runs.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "pages/page_role.h"

class PageMap {
 public:
  PageMap() = default;

  // A map from runs that cover pages 0 to page_count - 1 in order without gaps or overlaps;
  // none when the runs do not. Neighbouring runs of one role are joined.
  static std::optional<PageMap> FromRuns(uint32_t page_size, uint32_t page_count,
                                         std::vector<PageRun> runs);

  uint32_t page_size() const { return page_size_; }
  uint32_t page_count() const { return page_count_; }
  const std::vector<PageRun>& runs() const { return runs_; }

  // The role of one page; Unknown past the end.
  PageRole RoleOf(uint32_t page) const;

  // The same map with the given pages' roles replaced. changes: ascending page numbers, each
  // page once.
  PageMap WithRoles(const std::vector<std::pair<uint32_t, PageRole>>& changes) const;

  // The same map after a page inventory page covering [span.first, span.end()) was read
  // again: the pages it marks free now (free_runs, ascending, inside span) become Free, and
  // pages of the span that the map held free but that are in use now become Unknown, since
  // what they hold was not seen.
  PageMap WithInventory(PageSpan span, const std::vector<PageSpan>& free_runs) const;

  bool operator==(const PageMap&) const = default;

 private:
  PageMap(uint32_t page_size, uint32_t page_count, std::vector<PageRun> runs);

  uint32_t page_size_ = 0;
  uint32_t page_count_ = 0;
  std::vector<PageRun> runs_;
};
