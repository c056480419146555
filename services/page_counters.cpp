#include "services/page_counters.h"

#include "ibclient/errors.h"

namespace {

int64_t Count(const SqlValue& value) {
  const auto* number = std::get_if<int64_t>(&value);
  if (!number) RaiseUnexpectedAnswer(u"MON$IO_STATS");
  return *number;
}

}  // namespace

PageCounters AskOwnPageCounters(DatabaseAttachment& attachment) {
  const std::vector<SqlRow> rows = attachment.Query(
      "SELECT io.MON$PAGE_READS, io.MON$PAGE_FETCHES FROM MON$ATTACHMENTS a "
      "JOIN MON$IO_STATS io ON io.MON$STAT_ID = a.MON$STAT_ID "
      "WHERE a.MON$ATTACHMENT_ID = CURRENT_CONNECTION");
  if (rows.size() != 1 || rows[0].size() != 2) RaiseUnexpectedAnswer(u"MON$IO_STATS");
  return {Count(rows[0][0]), Count(rows[0][1])};
}

PageCounters AskDatabasePageCounters(DatabaseAttachment& attachment) {
  const InfoAnswer answer = attachment.Info(std::string{isc_info_reads, isc_info_fetches});
  const std::optional<int64_t> reads = answer.Integer(isc_info_reads);
  const std::optional<int64_t> fetches = answer.Integer(isc_info_fetches);
  if (!reads || !fetches) RaiseUnexpectedAnswer(u"no page counters");
  return {*reads, *fetches};
}
