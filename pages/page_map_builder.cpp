#include "pages/page_map_builder.h"

#include <algorithm>

#include "pages/page_classifier.h"
#include "pages/run_overlay.h"

namespace {

// Sorts runs and keeps, where they overlap, the run that came later.
std::vector<PageRun> SortedLastWins(std::vector<PageRun> runs) {
  std::stable_sort(runs.begin(), runs.end(),
                   [](const PageRun& a, const PageRun& b) { return a.first < b.first; });
  std::vector<PageRun> kept;
  for (const PageRun& run : runs) {
    // kept is in order without overlaps, so the runs that overlap this one are its last ones.
    std::vector<PageRun> beyond;
    while (!kept.empty() && kept.back().end() > run.first) {
      const PageRun cut = kept.back();
      kept.pop_back();
      if (cut.end() > run.end()) {
        const uint32_t from = std::max(cut.first, run.end());
        beyond.push_back({from, cut.end() - from, cut.role});
      }
      if (cut.first < run.first) kept.push_back({cut.first, run.first - cut.first, cut.role});
    }
    kept.push_back(run);
    kept.insert(kept.end(), beyond.rbegin(), beyond.rend());
  }
  return kept;
}

}  // namespace

PageMapBuilder::PageMapBuilder(uint32_t page_size, uint32_t page_count)
    : page_size_(page_size), page_count_(page_count) {}

void PageMapBuilder::Page(uint32_t number, const uint8_t* bytes) {
  if (number >= page_count_) return;
  ++pages_seen_;
  const PageRole role = ClassifyPage(bytes, page_size_, number);
  if (runs_.empty() || number >= runs_.back().end())
    AppendPage(runs_, number, role);
  else
    late_.push_back({number, 1, role});
  if (role.kind == PageKind::PageInventory && IsInventoryPosition(number, page_size_)) {
    for (const PageSpan& free : FreeRuns(bytes, page_size_, number, page_count_))
      free_.push_back(free);
  } else if (role.kind == PageKind::Pointer && role.relation != PageRole::kNoRelation) {
    PageRole data;
    data.kind = PageKind::Data;
    data.relation = role.relation;
    for (uint32_t page : ListedDataPages(bytes, page_size_)) {
      if (page >= page_count_) continue;
      AppendPage(listed_data_, page, data);
    }
  }
}

PageMap PageMapBuilder::Finish() const {
  // Fill the gaps with Unknown.
  std::vector<PageRun> all;
  uint32_t next = 0;
  for (const PageRun& run : runs_) {
    if (run.first > next) all.push_back({next, run.first - next, PageRole{}});
    all.push_back(run);
    next = run.end();
  }
  if (next < page_count_) all.push_back({next, page_count_ - next, PageRole{}});

  const auto replace = [](const PageRole&, const PageRole& role) { return role; };
  all = OverlayRuns(all, SortedLastWins(late_), replace);

  // An encrypted data page hides its table; the pointer page that lists it does not.
  const auto table_from_pointer = [](const PageRole& old_role, const PageRole& listed) {
    if (old_role.kind != PageKind::Data || old_role.relation != PageRole::kNoRelation)
      return old_role;
    PageRole role = old_role;
    role.relation = listed.relation;
    return role;
  };
  all = OverlayRuns(all, SortedLastWins(listed_data_), table_from_pointer);

  PageRole free_role;
  free_role.kind = PageKind::Free;
  std::vector<PageRun> free;
  for (const PageSpan& span : free_) free.push_back({span.first, span.count, free_role});
  all = OverlayRuns(all, SortedLastWins(free), replace);
  return *PageMap::FromRuns(page_size_, page_count_, std::move(all));
}
