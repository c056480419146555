#include "pages/map_check.h"

#include <algorithm>

#include "pages/page_classifier.h"

namespace {

// The map's role still holds where what was read says nothing else: an encrypted data page
// shows no table, but the map may know it from the pointer page.
bool Agrees(const PageRole& seen, const PageRole& mapped) {
  if (seen.kind != mapped.kind || seen.encrypted != mapped.encrypted) return false;
  const auto same = [](auto seen_value, auto mapped_value, auto unknown) {
    return seen_value == unknown || seen_value == mapped_value;
  };
  return same(seen.relation, mapped.relation, PageRole::kNoRelation) &&
         same(seen.level, mapped.level, PageRole::kNoLevel) &&
         same(seen.index, mapped.index, PageRole::kNoIndex);
}

}  // namespace

MapCheck::MapCheck(const PageMap& map) : map_(map) {}

const PageRun* MapCheck::MappedRun(uint32_t number) {
  const std::vector<PageRun>& runs = map_.runs();
  if (number >= map_.page_count() || runs.empty()) return nullptr;
  if (cursor_ < runs.size() && runs[cursor_].first <= number) {
    while (cursor_ < runs.size() && runs[cursor_].end() <= number) ++cursor_;
    if (cursor_ < runs.size() && runs[cursor_].first <= number) return &runs[cursor_];
  }
  const auto after = std::upper_bound(runs.begin(), runs.end(), number,
                                      [](uint32_t p, const PageRun& run) { return p < run.first; });
  cursor_ = static_cast<size_t>(after - runs.begin()) - 1;
  return &runs[cursor_];
}

void MapCheck::Page(uint32_t number, const uint8_t* bytes) {
  const PageRun* mapped = MappedRun(number);
  if (!mapped) return;
  ++pages_checked_;
  const uint32_t page_size = map_.page_size();
  const PageRole seen = ClassifyPage(bytes, page_size, number);
  if (seen.kind == PageKind::PageInventory && IsInventoryPosition(number, page_size)) {
    const uint32_t first = FirstPageOfInventory(number);
    inventories_.push_back({{first, PagesPerInventory(page_size)},
                            FreeRuns(bytes, page_size, number, map_.page_count())});
  }
  // A free page keeps what it held before it was freed; only its inventory can tell.
  if (mapped->role.kind == PageKind::Free) {
    ++by_kind_[static_cast<int>(PageKind::Free)];
    return;
  }
  ++by_kind_[static_cast<int>(seen.kind)];
  if (!Agrees(seen, mapped->role)) changes_.push_back({number, seen});
}

PageMap MapCheck::Corrected() const {
  std::vector<std::pair<uint32_t, PageRole>> sorted = changes_;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  // A page read twice counts as last read.
  std::vector<std::pair<uint32_t, PageRole>> changes;
  for (const auto& change : sorted) {
    if (!changes.empty() && changes.back().first == change.first)
      changes.back() = change;
    else
      changes.push_back(change);
  }
  PageMap corrected = map_.WithRoles(changes);
  for (const Inventory& inventory : inventories_)
    corrected = corrected.WithInventory(inventory.covered, inventory.free);
  return corrected;
}
