#include "services/cache_keeping.h"

#include "ibclient/errors.h"

namespace {

// The single value of a one-row, one-column answer.
SqlValue SingleValue(const std::vector<SqlRow>& rows, std::u16string_view what) {
  if (rows.size() != 1 || rows[0].size() != 1) RaiseUnexpectedAnswer(what);
  return rows[0][0];
}

}  // namespace

CacheKeeping AskCacheKeeping(DatabaseAttachment& attachment) {
  CacheKeeping keeping;
  const SqlValue linger =
      SingleValue(attachment.Query("SELECT RDB$LINGER FROM RDB$DATABASE"), u"RDB$LINGER");
  if (const auto* seconds = std::get_if<int64_t>(&linger))
    keeping.linger_seconds = *seconds;
  else if (!std::holds_alternative<std::monostate>(linger))
    RaiseUnexpectedAnswer(u"RDB$LINGER");
  const SqlValue others = SingleValue(
      attachment.Query("SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$SYSTEM_FLAG = 0 AND "
                       "MON$ATTACHMENT_ID <> CURRENT_CONNECTION"),
      u"MON$ATTACHMENTS");
  const auto* count = std::get_if<int64_t>(&others);
  if (!count) RaiseUnexpectedAnswer(u"MON$ATTACHMENTS");
  keeping.other_attachments = *count;
  return keeping;
}
