// Laying runs over runs: the pages that overlay runs cover take a role decided from their old
// role and the overlay's, the others keep theirs. What building, correcting and updating the
// page-role map share.
#pragma once

#include <functional>
#include <vector>

#include "pages/page_role.h"

using OverlayRule = std::function<PageRole(const PageRole& old_role, const PageRole& overlay)>;

// base: runs in order without gaps; overlay: runs in order without overlaps, anywhere within
// base. The result is in order without gaps, neighbouring runs of one role joined.
std::vector<PageRun> OverlayRuns(const std::vector<PageRun>& base,
                                 const std::vector<PageRun>& overlay, const OverlayRule& rule);

// Joins neighbouring runs of one role and drops empty ones.
std::vector<PageRun> JoinRuns(std::vector<PageRun> runs);

// Appends one page to runs in ascending order: extends the last run when the page follows it
// with the same role.
void AppendPage(std::vector<PageRun>& runs, uint32_t page, const PageRole& role);
