#include "pages/value_order.h"

#include <algorithm>
#include <map>

namespace {

// The stage of a page, or none for pages not worth reading.
bool StageOf(const PageRole& role, ValueStage& stage) {
  switch (role.kind) {
    case PageKind::Header:
    case PageKind::PageInventory:
    case PageKind::TransactionInventory:
    case PageKind::Scn:
    case PageKind::Generators:
      stage = ValueStage::HeaderAndInventories;
      return true;
    case PageKind::Pointer:
    case PageKind::IndexRoot:
      stage = ValueStage::PointersAndIndexRoots;
      return true;
    case PageKind::BTree:
      stage = role.level != PageRole::kNoLevel && role.level > 0 ? ValueStage::UpperLevels
                                                                 : ValueStage::Leaves;
      return true;
    case PageKind::Data:
      stage = ValueStage::TableData;
      return true;
    case PageKind::Blob:
      stage = ValueStage::Blobs;
      return true;
    case PageKind::Unknown:
      stage = ValueStage::Unclassified;
      return true;
    case PageKind::Empty:
    case PageKind::Free:
      return false;
  }
  return false;
}

ValueGroup Group(ValueStage stage, uint16_t relation = PageRole::kNoRelation) {
  ValueGroup group;
  group.stage = stage;
  group.relation = relation;
  return group;
}

void Add(ValueGroup& group, const PageRun& run) {
  if (!group.spans.empty() && group.spans.back().end() == run.first)
    group.spans.back().count += run.count;
  else
    group.spans.push_back({run.first, run.count});
  group.pages += run.count;
}

}  // namespace

std::vector<ValueGroup> GroupsByValue(const PageMap& map) {
  std::vector<ValueGroup> fixed;
  for (ValueStage stage : {ValueStage::HeaderAndInventories, ValueStage::PointersAndIndexRoots,
                           ValueStage::UpperLevels, ValueStage::Leaves})
    fixed.push_back(Group(stage));
  ValueGroup blobs = Group(ValueStage::Blobs);
  ValueGroup unclassified = Group(ValueStage::Unclassified);
  std::map<uint16_t, ValueGroup> tables;
  for (const PageRun& run : map.runs()) {
    ValueStage stage;
    if (!StageOf(run.role, stage)) continue;
    switch (stage) {
      case ValueStage::TableData: {
        auto [table, _] =
            tables.try_emplace(run.role.relation, Group(ValueStage::TableData, run.role.relation));
        Add(table->second, run);
        break;
      }
      case ValueStage::Blobs:
        Add(blobs, run);
        break;
      case ValueStage::Unclassified:
        Add(unclassified, run);
        break;
      default:
        Add(fixed[static_cast<int>(stage)], run);
        break;
    }
  }
  std::vector<ValueGroup> groups;
  for (ValueGroup& group : fixed)
    if (group.pages) groups.push_back(std::move(group));
  std::vector<ValueGroup> data;
  for (auto& [relation, group] : tables) data.push_back(std::move(group));
  // Smaller tables first, so that as many whole tables as possible fit; pages of unknown
  // tables after all known ones.
  std::stable_sort(data.begin(), data.end(), [](const ValueGroup& a, const ValueGroup& b) {
    const bool a_unknown = a.relation == PageRole::kNoRelation;
    const bool b_unknown = b.relation == PageRole::kNoRelation;
    if (a_unknown != b_unknown) return b_unknown;
    return a.pages < b.pages;
  });
  for (ValueGroup& group : data) groups.push_back(std::move(group));
  for (ValueGroup* group : {&blobs, &unclassified})
    if (group->pages) groups.push_back(std::move(*group));
  return groups;
}
