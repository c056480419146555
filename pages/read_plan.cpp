#include "pages/read_plan.h"

#include <algorithm>

namespace {

// Pages already planned, as ascending spans without overlaps.
class Covered {
 public:
  // The parts of spans (ascending) not yet covered.
  std::vector<PageSpan> Missing(const std::vector<PageSpan>& spans) const {
    std::vector<PageSpan> missing;
    auto next = spans_.begin();
    for (const PageSpan& span : spans) {
      uint32_t at = span.first;
      next = std::lower_bound(next, spans_.end(), at,
                              [](const PageSpan& c, uint32_t page) { return c.end() <= page; });
      for (auto c = next; c != spans_.end() && c->first < span.end() && at < span.end(); ++c) {
        if (c->first > at) missing.push_back({at, c->first - at});
        at = std::max(at, c->end());
      }
      if (at < span.end()) missing.push_back({at, span.end() - at});
    }
    return missing;
  }

  void Add(const std::vector<PageSpan>& spans) {
    std::vector<PageSpan> all;
    all.reserve(spans_.size() + spans.size());
    std::merge(spans_.begin(), spans_.end(), spans.begin(), spans.end(), std::back_inserter(all),
               [](const PageSpan& a, const PageSpan& b) { return a.first < b.first; });
    spans_.clear();
    for (const PageSpan& span : all) {
      if (!spans_.empty() && spans_.back().end() >= span.first)
        spans_.back().count = std::max(spans_.back().end(), span.end()) - spans_.back().first;
      else
        spans_.push_back(span);
    }
  }

 private:
  std::vector<PageSpan> spans_;
};

// Joins spans across gaps of at most gap_pages into requests of at most max_pages, and cuts
// longer spans.
std::vector<PageSpan> Merge(const std::vector<PageSpan>& spans, uint64_t gap_pages,
                            uint64_t max_pages) {
  std::vector<PageSpan> merged;
  for (PageSpan span : spans) {
    if (!merged.empty()) {
      PageSpan& last = merged.back();
      const uint64_t joined = uint64_t{span.end()} - last.first;
      if (span.first - last.end() <= gap_pages && joined <= max_pages) {
        last.count = static_cast<uint32_t>(joined);
        continue;
      }
    }
    while (span.count > max_pages) {
      merged.push_back({span.first, static_cast<uint32_t>(max_pages)});
      span.first += static_cast<uint32_t>(max_pages);
      span.count -= static_cast<uint32_t>(max_pages);
    }
    merged.push_back(span);
  }
  return merged;
}

bool IsIndexStage(ValueStage stage) { return stage < ValueStage::TableData; }

// Spans that touch are one run.
uint64_t CountRuns(const std::vector<PageSpan>& spans) {
  uint64_t runs = 0;
  for (size_t i = 0; i < spans.size(); ++i)
    if (i == 0 || spans[i - 1].end() != spans[i].first) ++runs;
  return runs;
}

uint64_t PagesIn(const std::vector<PageSpan>& spans) {
  uint64_t pages = 0;
  for (const PageSpan& span : spans) pages += span.count;
  return pages;
}

class Planner {
 public:
  Planner(const PageMap& map, const PlanLimits& limits)
      : page_size_(map.page_size()),
        budget_pages_(limits.budget_bytes / map.page_size()),
        gap_pages_(limits.merge_gap_bytes / map.page_size()),
        max_pages_(std::max<uint64_t>(1, limits.max_request_bytes / map.page_size())) {}

  ReadPlan Plan(const std::vector<ValueGroup>& groups) {
    plan_.indexes_complete = true;
    for (const ValueGroup& group : groups) {
      if (group.stage == ValueStage::TableData) {
        AddTable(group);
      } else {
        const bool whole = AddGroup(group, /*all_or_nothing=*/false);
        if (IsIndexStage(group.stage) && !whole) plan_.indexes_complete = false;
      }
    }
    return std::move(plan_);
  }

 private:
  void AddTable(const ValueGroup& group) {
    TableFit fit{group.relation, group.pages, false};
    fit.included = AddGroup(group, /*all_or_nothing=*/true);
    plan_.tables.push_back(fit);
  }

  // Adds what the budget allows of the group's pages not planned yet; true when all of them
  // are in the plan.
  bool AddGroup(const ValueGroup& group, bool all_or_nothing) {
    const std::vector<PageSpan> wanted = covered_.Missing(group.spans);
    std::vector<PageSpan> requests = Merge(wanted, gap_pages_, max_pages_);
    const uint64_t room = budget_pages_ - used_pages_;
    if (all_or_nothing && PagesIn(requests) > room) return false;
    std::vector<PageSpan> taken;
    uint64_t left = room;
    for (PageSpan request : requests) {
      if (left == 0) break;
      request.count = static_cast<uint32_t>(std::min<uint64_t>(request.count, left));
      left -= request.count;
      taken.push_back(request);
    }
    used_pages_ += room - left;
    // What the requests taken hold of the wanted pages: the runs they came from, and the
    // index bytes.
    const std::vector<PageSpan> read = Clip(wanted, taken);
    plan_.runs_before_merging += CountRuns(read);
    if (IsIndexStage(group.stage)) plan_.index_bytes += PagesIn(read) * page_size_;
    for (const PageSpan& request : taken) {
      plan_.requests.push_back({uint64_t{request.first} * page_size_,
                                uint64_t{request.count} * page_size_, group.stage});
      plan_.bytes += uint64_t{request.count} * page_size_;
    }
    covered_.Add(taken);
    return PagesIn(read) == PagesIn(wanted);
  }

  // The parts of spans inside the requests (both ascending).
  static std::vector<PageSpan> Clip(const std::vector<PageSpan>& spans,
                                    const std::vector<PageSpan>& requests) {
    std::vector<PageSpan> inside;
    auto request = requests.begin();
    for (const PageSpan& span : spans) {
      while (request != requests.end() && request->end() <= span.first) ++request;
      for (auto r = request; r != requests.end() && r->first < span.end(); ++r) {
        const uint32_t first = std::max(span.first, r->first);
        const uint32_t end = std::min(span.end(), r->end());
        if (first < end) inside.push_back({first, end - first});
      }
    }
    return inside;
  }

  uint64_t page_size_;
  uint64_t budget_pages_;
  uint64_t gap_pages_;
  uint64_t max_pages_;
  uint64_t used_pages_ = 0;
  Covered covered_;
  ReadPlan plan_;
};

}  // namespace

ReadPlan PlanReads(const PageMap& map, const PlanLimits& limits) {
  if (map.page_size() == 0) return ReadPlan{};
  return Planner(map, limits).Plan(GroupsByValue(map));
}

std::vector<uint32_t> PagesByValue(const PageMap& map, uint64_t max_pages) {
  std::vector<uint32_t> pages;
  for (const ValueGroup& group : GroupsByValue(map)) {
    const uint64_t room = max_pages - pages.size();
    if (group.stage == ValueStage::TableData && group.pages > room) continue;
    for (const PageSpan& span : group.spans)
      for (uint32_t page = span.first; page < span.end() && pages.size() < max_pages; ++page)
        pages.push_back(page);
  }
  return pages;
}
