#include "pages/page_map.h"

#include <algorithm>

#include "pages/run_overlay.h"

PageMap::PageMap(uint32_t page_size, uint32_t page_count, std::vector<PageRun> runs)
    : page_size_(page_size), page_count_(page_count), runs_(JoinRuns(std::move(runs))) {}

std::optional<PageMap> PageMap::FromRuns(uint32_t page_size, uint32_t page_count,
                                         std::vector<PageRun> runs) {
  uint32_t next = 0;
  for (const PageRun& run : runs) {
    if (run.first != next || run.count == 0 || run.count > page_count - next) return std::nullopt;
    next = run.end();
  }
  if (next != page_count) return std::nullopt;
  return PageMap(page_size, page_count, std::move(runs));
}

PageRole PageMap::RoleOf(uint32_t page) const {
  const auto after = std::upper_bound(runs_.begin(), runs_.end(), page,
                                      [](uint32_t p, const PageRun& run) { return p < run.first; });
  if (after == runs_.begin()) return PageRole{};
  const PageRun& run = *(after - 1);
  return page < run.end() ? run.role : PageRole{};
}

PageMap PageMap::WithRoles(const std::vector<std::pair<uint32_t, PageRole>>& changes) const {
  std::vector<PageRun> overlay;
  for (const auto& [page, role] : changes)
    if (page < page_count_) AppendPage(overlay, page, role);
  const auto replace = [](const PageRole&, const PageRole& role) { return role; };
  return PageMap(page_size_, page_count_, OverlayRuns(runs_, overlay, replace));
}

PageMap PageMap::WithInventory(PageSpan span, const std::vector<PageSpan>& free_runs) const {
  span.count = std::min(span.count, page_count_ > span.first ? page_count_ - span.first : 0);
  PageRole free_role;
  free_role.kind = PageKind::Free;
  // Unknown in the overlay stands for "in use": the page keeps its role unless it was free.
  std::vector<PageRun> overlay;
  uint32_t at = span.first;
  for (const PageSpan& free : free_runs) {
    const uint32_t begin = std::max(free.first, at);
    const uint32_t end = std::min(free.end(), span.end());
    if (begin >= end) continue;
    if (begin > at) overlay.push_back({at, begin - at, PageRole{}});
    overlay.push_back({begin, end - begin, free_role});
    at = end;
  }
  if (at < span.end()) overlay.push_back({at, span.end() - at, PageRole{}});
  const auto update = [](const PageRole& old_role, const PageRole& now) {
    if (now.kind == PageKind::Free) return now;
    return old_role.kind == PageKind::Free ? PageRole{} : old_role;
  };
  return PageMap(page_size_, page_count_, OverlayRuns(runs_, overlay, update));
}
