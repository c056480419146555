// Which pages of a database are worth reading first, by what a look-up needs before anything
// else: the header and the inventories, then the pointer and index-root pages that lead to
// tables and indexes, the upper b-tree levels every index search passes, the leaves, and only
// then the tables' data, one table at a time (a table helps only when all of it is there).
// Free and never-written pages are worth nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "pages/page_map.h"

enum class ValueStage : uint8_t {
  HeaderAndInventories,  // header, page, transaction and SCN inventories, generators
  PointersAndIndexRoots,
  UpperLevels,  // b-tree pages above the leaves
  Leaves,       // b-tree leaves, and b-tree pages whose level is hidden by encryption
  TableData,    // the data pages of one table (relation), smallest table first
  Blobs,
  Unclassified,  // pages the map does not know: reading them is how it learns
};
constexpr int kValueStageCount = static_cast<int>(ValueStage::Unclassified) + 1;

// The stages that lead to rows: everything before the table data.
inline bool IsIndexStage(ValueStage stage) { return stage < ValueStage::TableData; }

struct ValueGroup {
  ValueStage stage = ValueStage::HeaderAndInventories;
  // For TableData: the table, or PageRole::kNoRelation for data pages of unknown tables.
  uint16_t relation = PageRole::kNoRelation;
  std::vector<PageSpan> spans;  // ascending
  uint64_t pages = 0;
};

// The groups in the order of their value; within a group, pages in file order.
std::vector<ValueGroup> GroupsByValue(const PageMap& map);
