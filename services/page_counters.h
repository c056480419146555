// How many pages the engine fetched (from its cache or the file) and read (from the file): the
// counters that show whether pages were found in the engine's cache.
#pragma once

#include <cstdint>

#include "services/database_attachment.h"

struct PageCounters {
  int64_t reads = 0;    // pages read from the database file
  int64_t fetches = 0;  // pages asked of the cache, found there or read
};

// This attachment's own counters since it began, from MON$IO_STATS. Each call is a new
// monitoring snapshot (a transaction of its own); the query itself may fetch a few pages.
PageCounters AskOwnPageCounters(DatabaseAttachment& attachment);

// The database's counters over every attachment since the server opened it
// (isc_info_reads, isc_info_fetches); no query, so asking moves neither.
PageCounters AskDatabasePageCounters(DatabaseAttachment& attachment);
