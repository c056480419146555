#include "pages/run_overlay.h"

#include <algorithm>

std::vector<PageRun> JoinRuns(std::vector<PageRun> runs) {
  std::vector<PageRun> joined;
  joined.reserve(runs.size());
  for (const PageRun& run : runs) {
    if (run.count == 0) continue;
    if (!joined.empty() && joined.back().end() == run.first && joined.back().role == run.role)
      joined.back().count += run.count;
    else
      joined.push_back(run);
  }
  return joined;
}

void AppendPage(std::vector<PageRun>& runs, uint32_t page, const PageRole& role) {
  if (!runs.empty() && runs.back().end() == page && runs.back().role == role)
    ++runs.back().count;
  else
    runs.push_back({page, 1, role});
}

std::vector<PageRun> OverlayRuns(const std::vector<PageRun>& base,
                                 const std::vector<PageRun>& overlay, const OverlayRule& rule) {
  std::vector<PageRun> result;
  result.reserve(base.size() + 2 * overlay.size());
  auto next_overlay = overlay.begin();
  for (const PageRun& run : base) {
    uint32_t at = run.first;
    while (at < run.end()) {
      // Overlay runs that end before this point are done.
      while (next_overlay != overlay.end() && next_overlay->end() <= at) ++next_overlay;
      if (next_overlay == overlay.end() || next_overlay->first >= run.end()) {
        result.push_back({at, run.end() - at, run.role});
        break;
      }
      if (next_overlay->first > at) {
        result.push_back({at, next_overlay->first - at, run.role});
        at = next_overlay->first;
      }
      const uint32_t end = std::min(run.end(), next_overlay->end());
      result.push_back({at, end - at, rule(run.role, next_overlay->role)});
      at = end;
    }
  }
  return JoinRuns(std::move(result));
}
