#include "tool/fit_scope.h"

#include <algorithm>

namespace {

std::optional<ReportedRole> Reported(PageKind kind) {
  switch (kind) {
    case PageKind::IndexRoot:
    case PageKind::BTree:
      return ReportedRole::Indexes;
    case PageKind::Pointer:
      return ReportedRole::Pointers;
    case PageKind::Header:
    case PageKind::PageInventory:
    case PageKind::TransactionInventory:
    case PageKind::Generators:
    case PageKind::Scn:
      return ReportedRole::Inventories;
    case PageKind::Data:
      return ReportedRole::Data;
    case PageKind::Blob:
      return ReportedRole::Blobs;
    case PageKind::Unknown:
    case PageKind::Empty:
    case PageKind::Free:
      break;
  }
  return std::nullopt;
}

void Add(RoleShare& share, const ResidentPages& pages) {
  share.resident += pages.resident;
  share.total += pages.total;
}

}  // namespace

StatisticsScope ChooseStatisticsScope(const ReadPlan& plan, const RelationNames& names) {
  StatisticsScope scope;
  const bool every_table = std::all_of(plan.tables.begin(), plan.tables.end(),
                                       [](const TableFit& table) { return table.included; });
  if (every_table && plan.indexes_complete) return scope;
  for (const TableFit& table : plan.tables) {
    // The report covers user tables only; the system's own are read with the indexes' pages.
    if (!table.included || table.relation < kFirstUserRelation) continue;
    const auto name = names.tables.find(table.relation);
    if (name == names.tables.end()) {
      scope.tables.clear();
      break;
    }
    scope.tables.push_back(name->second);
  }
  scope.data_pages = !scope.tables.empty();
  return scope;
}

CachedByRole MeasureCachedByRole(FileResidency& residency, const PageMap& map) {
  CachedByRole cached;
  const uint64_t page_size = map.page_size();
  for (const PageRun& run : map.runs()) {
    const std::optional<ReportedRole> role = Reported(run.role.kind);
    if (!role) continue;
    const ResidentPages pages =
        residency.Query(uint64_t{run.first} * page_size, uint64_t{run.count} * page_size);
    Add(cached.roles[static_cast<int>(*role)], pages);
    if (run.role.relation == PageRole::kNoRelation) continue;
    if (run.role.kind == PageKind::Data) Add(cached.table_data[run.role.relation], pages);
    if (run.role.kind == PageKind::BTree && run.role.index != PageRole::kNoIndex)
      Add(cached.index_pages[{run.role.relation, run.role.index}], pages);
  }
  return cached;
}
