#include "pages/read_plan.h"

#include <algorithm>
#include <iterator>

#include "pages/page_spans.h"

namespace {

class Planner {
 public:
  Planner(const PageMap& map, const PlanLimits& limits)
      : page_size_(map.page_size()),
        room_(limits.budget_bytes / map.page_size()),
        gap_pages_(limits.merge_gap_bytes / map.page_size()),
        max_pages_(std::max<uint64_t>(1, limits.max_request_bytes / map.page_size())) {}

  ReadPlan Plan(const std::vector<ValueGroup>& groups) {
    std::vector<PageSpan> index_pages;
    for (const ValueGroup& group : groups)
      if (IsIndexStage(group.stage)) index_pages = UniteSpans(index_pages, group.spans);

    // All index pages in one pass when they fit, else group by group in order of value.
    if (!Add(index_pages, /*all_or_nothing=*/true)) {
      for (const ValueGroup& group : groups)
        if (IsIndexStage(group.stage)) Add(group.spans, /*all_or_nothing=*/false);
    }
    plan_.index.requests = plan_.requests.size();
    plan_.index.bytes = plan_.bytes;
    const std::vector<PageSpan> index_read = IntersectSpans(index_pages, covered_);
    plan_.index.page_bytes = CountPages(index_read) * page_size_;
    plan_.index.runs = index_read.size();
    plan_.indexes_complete = CountPages(index_read) == CountPages(index_pages);

    for (const ValueGroup& group : groups) {
      if (group.stage == ValueStage::TableData)
        plan_.tables.push_back(
            {group.relation, group.pages, Add(group.spans, /*all_or_nothing=*/true)});
      else if (!IsIndexStage(group.stage))
        Add(group.spans, /*all_or_nothing=*/false);
    }
    for (const ValueGroup& group : groups)
      plan_.stage_pages[static_cast<int>(group.stage)] +=
          CountPages(IntersectSpans(group.spans, covered_));
    return std::move(plan_);
  }

 private:
  // Adds what the budget allows of the pages not planned yet, as merged requests; true when
  // all of them are in the plan. With all_or_nothing, adds nothing unless all fit.
  bool Add(const std::vector<PageSpan>& pages, bool all_or_nothing) {
    const std::vector<PageSpan> wanted = SubtractSpans(pages, covered_);
    // A gap may hold pages planned already: those are cut out of the joined requests again,
    // each request on its own (the largest request's cuts stay).
    std::vector<PageSpan> requests;
    for (const PageSpan& joined : MergeSpans(wanted, gap_pages_, max_pages_))
      for (const PageSpan& part : SubtractSpans({joined}, covered_)) requests.push_back(part);
    if (all_or_nothing && CountPages(requests) > room_) return false;
    std::vector<PageSpan> taken;
    for (PageSpan request : requests) {
      if (room_ == 0) break;
      request.count = static_cast<uint32_t>(std::min<uint64_t>(request.count, room_));
      room_ -= request.count;
      taken.push_back(request);
      Push({uint64_t{request.first} * page_size_, uint64_t{request.count} * page_size_});
    }
    covered_ = UniteSpans(covered_, taken);
    return CountPages(IntersectSpans(wanted, taken)) == CountPages(wanted);
  }

  // Appends a request; one that goes on where the last one ended joins it.
  void Push(const ReadRequest& request) {
    plan_.bytes += request.length;
    if (!plan_.requests.empty()) {
      ReadRequest& last = plan_.requests.back();
      if (last.offset + last.length == request.offset &&
          last.length + request.length <= max_pages_ * page_size_) {
        last.length += request.length;
        return;
      }
    }
    plan_.requests.push_back(request);
  }

  uint64_t page_size_;
  uint64_t room_;  // pages the budget still allows
  uint64_t gap_pages_;
  uint64_t max_pages_;
  std::vector<PageSpan> covered_;  // pages planned so far
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
