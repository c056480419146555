#include "pages/page_spans.h"

#include <algorithm>

namespace {

// Appends a span, joining it with the last one where they touch or overlap.
void Append(std::vector<PageSpan>& spans, PageSpan span) {
  if (span.count == 0) return;
  if (!spans.empty() && spans.back().end() >= span.first) {
    PageSpan& last = spans.back();
    last.count = std::max(last.end(), span.end()) - last.first;
  } else {
    spans.push_back(span);
  }
}

}  // namespace

std::vector<PageSpan> UniteSpans(const std::vector<PageSpan>& a, const std::vector<PageSpan>& b) {
  std::vector<PageSpan> all;
  all.reserve(a.size() + b.size());
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (j == b.size() || (i < a.size() && a[i].first <= b[j].first))
      Append(all, a[i++]);
    else
      Append(all, b[j++]);
  }
  return all;
}

std::vector<PageSpan> IntersectSpans(const std::vector<PageSpan>& a,
                                     const std::vector<PageSpan>& b) {
  std::vector<PageSpan> both;
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const uint32_t first = std::max(a[i].first, b[j].first);
    const uint32_t end = std::min(a[i].end(), b[j].end());
    if (first < end) Append(both, {first, end - first});
    if (a[i].end() < b[j].end())
      ++i;
    else
      ++j;
  }
  return both;
}

std::vector<PageSpan> SubtractSpans(const std::vector<PageSpan>& a,
                                    const std::vector<PageSpan>& b) {
  std::vector<PageSpan> rest;
  size_t j = 0;
  for (const PageSpan& span : a) {
    uint32_t at = span.first;
    while (j < b.size() && b[j].end() <= at) ++j;
    for (size_t k = j; k < b.size() && b[k].first < span.end(); ++k) {
      if (b[k].first > at) Append(rest, {at, b[k].first - at});
      at = std::max(at, b[k].end());
    }
    if (at < span.end()) Append(rest, {at, span.end() - at});
  }
  return rest;
}

uint64_t CountPages(const std::vector<PageSpan>& spans) {
  uint64_t pages = 0;
  for (const PageSpan& span : spans) pages += span.count;
  return pages;
}

std::vector<PageSpan> MergeSpans(const std::vector<PageSpan>& spans, uint64_t gap_pages,
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
