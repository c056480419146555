#include "services/statistical_service.h"

#include "ibclient/errors.h"

namespace {

constexpr char kIscActionSvcDbStats = isc_action_svc_db_stats;
constexpr char kIscSpbCommandLine = isc_spb_command_line;
constexpr char kIscSpbDbname = isc_spb_dbname;
constexpr char kIscSpbOptions = isc_spb_options;
constexpr char kIscSpbStsTable = isc_spb_sts_table;

}  // namespace

void TIBStatisticalService::BuildStartParams() {
  if (FDatabaseName.empty()) RaiseClientError(ClientErrorCode::StartParamsInvalid);

  // Built aside, so a refused text leaves the action and the end flag as they were.
  std::string params(1, kIscActionSvcDbStats);
  AppendStartText(params, kIscSpbDbname, "db_name", FDatabaseName);
  const uint32_t mask = FOptions.Mask();
  params += kIscSpbOptions;
  for (int shift = 0; shift < 32; shift += 8) params += static_cast<char>((mask >> shift) & 0xFF);
  if (FOptions.Contains(TStatOption::StatTables))
    AppendStartText(params, kIscSpbCommandLine, "command_line", FTableNames);
  for (const std::u16string& table : FTableItems)
    AppendStartText(params, kIscSpbStsTable, "sts_table", table);

  FAction = kIscActionSvcDbStats;
  FEof = false;
  FStartParams = std::move(params);
}
