// Whether the server keeps the database's page cache once this attachment detaches. A
// SuperServer caches a database while it is open: while some attachment holds it, and after the
// last one for as long as the database lingers (ALTER DATABASE SET LINGER TO <seconds>).
#pragma once

#include <cstdint>
#include <optional>

#include "services/database_attachment.h"

struct CacheKeeping {
  // RDB$DATABASE.RDB$LINGER: nothing when it was never set (NULL), 0 after DROP LINGER or
  // SET LINGER TO 0.
  std::optional<int64_t> linger_seconds;
  // User attachments to the database other than this one (the server's own, such as its garbage
  // collector and cache writer, are left out). Counts only what this user may see in
  // MON$ATTACHMENTS: every attachment for SYSDBA and the owner, on Firebird 4 and later for a
  // user with MONITOR_ANY_ATTACHMENT; others see their own alone.
  int64_t other_attachments = 0;

  // Whether the cache outlives this attachment's detach.
  bool Kept() const { return linger_seconds.value_or(0) > 0 || other_attachments > 0; }
};

// Asks the attached server; raises when a query fails.
CacheKeeping AskCacheKeeping(DatabaseAttachment& attachment);
