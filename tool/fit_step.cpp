#include "tool/fit_step.h"

#include "ibclient/gds_library.h"
#include "platform/residency.h"
#include "tool/fit_scope.h"
#include "tool/relation_names.h"

namespace {

std::optional<uint64_t> ResidentBytes(FileResidency& residency) {
  if (residency.State() != ResidencyState::Trusted) return std::nullopt;
  const ResidentPages pages = residency.QueryAll();
  if (residency.State() != ResidencyState::Trusted) return std::nullopt;
  return pages.resident * residency.PageSize();
}

}  // namespace

FitStatisticsPlan PlanFitStatistics(const std::optional<ReadThroughSummary>& read_through,
                                    const ServerTarget& target) {
  FitStatisticsPlan plan;
  plan.scope.data_pages = false;
  if (!read_through || !read_through->fit || !read_through->page_map) return plan;
  plan.budget_bytes = read_through->fit->budget_bytes;
  RelationNamesAnswer answer = AskRelationNames(SharedClientLibrary(), target);
  plan.names = std::move(answer.names);
  plan.names_failure = std::move(answer.failure);
  plan.scope = ChooseStatisticsScope(read_through->fit->plan, plan.names);
  FileResidency residency(read_through->path);
  plan.resident_before = ResidentBytes(residency);
  return plan;
}

FitRunEnd MeasureFitRunEnd(const std::optional<ReadThroughSummary>& read_through) {
  FitRunEnd end;
  if (!read_through) return end;
  FileResidency residency(read_through->path);
  end.resident_after = ResidentBytes(residency);
  end.residency_trusted = end.resident_after.has_value();
  if (end.residency_trusted && read_through->page_map)
    end.cached = MeasureCachedByRole(residency, *read_through->page_map);
  return end;
}
