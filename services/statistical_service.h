// TIBStatisticalService: the server's database statistics action. Running it over the data
// and index pages makes the server read every one of those pages.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/flag_set.h"
#include "services/control_and_query_service.h"

// What the statistics cover; the ordinal is the bit in the start request's options mask.
enum class TStatOption {
  DataPages,        // isc_spb_sts_data_pages
  DbLog,            // isc_spb_sts_db_log
  HeaderPages,      // isc_spb_sts_hdr_pages
  IndexPages,       // isc_spb_sts_idx_pages
  SystemRelations,  // isc_spb_sts_sys_relations
  RecordVersions,   // isc_spb_sts_record_versions
  StatTables,       // isc_spb_sts_table
};

// A set of TStatOption, one byte with bit n standing for ordinal n.
class TStatOptions : public FlagSet<TStatOption, uint8_t> {
 public:
  using FlagSet::FlagSet;
  // The options mask of the start request.
  constexpr uint32_t Mask() const { return Bits(); }
};
static_assert(sizeof(TStatOptions) == 1);

class TIBStatisticalService : public TIBControlAndQueryService {
 public:
  using TIBControlAndQueryService::TIBControlAndQueryService;

  // The database's path (or alias) as the server sees it.
  const std::u16string& DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const std::u16string& value) { FDatabaseName = value; }

  TStatOptions Options() const { return FOptions; }
  void SetOptions(TStatOptions value) { FOptions = value; }

  // Sent only with StatTables.
  const std::u16string& TableNames() const { return FTableNames; }
  void SetTableNames(const std::u16string& value) { FTableNames = value; }

  // Tables to cover, each sent as an isc_spb_sts_table item of its own: the server then
  // reports on these tables alone, in one report. Empty (the default): no such item.
  const std::vector<std::u16string>& TableItems() const { return FTableItems; }
  void SetTableItems(std::vector<std::u16string> value) { FTableItems = std::move(value); }

 protected:
  void BuildStartParams() override;

 private:
  std::u16string FDatabaseName;
  TStatOptions FOptions;
  std::u16string FTableNames;
  std::vector<std::u16string> FTableItems;
};
