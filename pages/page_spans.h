// Sets of pages as ascending spans without overlaps or touching neighbours: what planning
// reads needs of them.
#pragma once

#include <cstdint>
#include <vector>

#include "pages/page_role.h"

// Pages in a or b.
std::vector<PageSpan> UniteSpans(const std::vector<PageSpan>& a, const std::vector<PageSpan>& b);
// Pages in a and b.
std::vector<PageSpan> IntersectSpans(const std::vector<PageSpan>& a,
                                     const std::vector<PageSpan>& b);
// Pages in a but not in b.
std::vector<PageSpan> SubtractSpans(const std::vector<PageSpan>& a, const std::vector<PageSpan>& b);
uint64_t CountPages(const std::vector<PageSpan>& spans);

// Requests for the pages of spans: neighbours at most gap_pages apart joined (the gap read
// with them) while the request stays at most max_pages long; longer spans cut into pieces.
std::vector<PageSpan> MergeSpans(const std::vector<PageSpan>& spans, uint64_t gap_pages,
                                 uint64_t max_pages);
