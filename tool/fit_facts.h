// What /FIT decides and finds, as plain values for the reporter and the later steps: the
// budget, the page-role map it used or built, what it read, and what the file cache holds by
// page role when the run ends.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pages/map_store.h"
#include "pages/page_map.h"
#include "pages/read_plan.h"

// What /FIT asks of the read-through.
struct FitChoice {
  std::optional<uint64_t> budget_bytes;  // /MAXMB; none: the room of the file cache
  std::u16string state_directory;        // where maps are kept; empty: nowhere
};

// Where the budget came from.
enum class BudgetSource {
  Given,      // /MAXMB
  CacheRoom,  // the room the file cache has for the file
  None,       // neither: the system does not tell its room, so the whole file is the budget
};

struct FitOutcome {
  uint64_t budget_bytes = 0;
  BudgetSource budget_source = BudgetSource::None;
  // The file's first page is no database header of a layout the map knows: read as without
  // /FIT.
  bool not_a_database = false;
  MapStatus found = MapStatus::Missing;  // what the map store held for this file
  int64_t map_written_at = 0;            // of the stored map used, seconds since 1970 (UTC)
  bool full_read = false;                // the whole file was read to classify its pages
  ReadPlan plan;  // the reads by value (after a full read: the second, shorter pass)
  uint64_t plan_requests_read = 0;
  uint64_t plan_bytes_skipped = 0;  // /SKIPCACHED: requests the cache already held wholly
  uint64_t pages_checked = 0;       // pages whose role was read in this run
  uint64_t pages_corrected = 0;     // of those, pages the stored map had wrong
  // The map after this run: what the later steps may use.
  std::optional<PageMap> map;
  std::u16string map_path;
  std::optional<std::u16string> save_failure;  // the map could not be stored: the reason
  bool saved = false;
};

// What the file cache holds of one set of pages, in the system's pages.
struct RoleShare {
  uint64_t resident = 0;
  uint64_t total = 0;
};

// The roles an operator reads about; the map's finer kinds are counted into them.
enum class ReportedRole { Indexes, Pointers, Inventories, Data, Blobs };
constexpr int kReportedRoleCount = static_cast<int>(ReportedRole::Blobs) + 1;

// Relation ids below this are the system's own tables; the report covers user tables only.
inline constexpr uint16_t kFirstUserRelation = 128;

// Names of tables and indexes by the numbers the pages carry: relation id, and (relation id,
// index id counted from 0).
struct RelationNames {
  std::map<uint16_t, std::u16string> tables;
  std::map<std::pair<uint16_t, uint8_t>, std::u16string> indexes;
};

struct CachedByRole {
  RoleShare roles[kReportedRoleCount];
  std::map<uint16_t, RoleShare> table_data;                       // data pages by relation
  std::map<std::pair<uint16_t, uint8_t>, RoleShare> index_pages;  // b-tree pages by index
};

// What the statistics step was asked for in /FIT mode.
struct StatisticsScope {
  bool data_pages = true;
  std::vector<std::u16string> tables;  // empty: every table
};
