// The read-through under /FIT: with a page-role map of the file, only the pages worth the most,
// in the order of their value, up to the budget, each page's role checked as it is read and
// the map corrected; without a usable map, the whole file once to build it, then the pages
// worth the most once more so that they are the ones the cache dropped last.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "pages/database_header.h"
#include "pages/map_store.h"
#include "pages/page_map.h"
#include "platform/cache_memory.h"
#include "platform/files.h"
#include "platform/residency.h"
#include "tool/fit_facts.h"

struct FitReadTally {
  uint64_t bytes_read = 0;
  uint64_t bytes_skipped = 0;
  bool failed = false;  // a read failed; the file's reason tells why
};

struct FitReadResult {
  FitOutcome outcome;
  FitReadTally tally;
};

// The budget: /MAXMB when given, else the room of the file cache, else the whole file.
std::pair<uint64_t, BudgetSource> ChooseBudget(const std::optional<uint64_t>& given,
                                               const std::optional<CacheRoom>& room,
                                               uint64_t file_size);

// What is known before the first read: the budget, the header, and the stored map (or why
// there is none usable, in outcome.found; outcome.full_read tells that the whole file will be
// read).
struct FitStart {
  FitOutcome outcome;
  std::optional<DatabaseHeader> header;
  std::optional<MapKey> key;
  std::optional<MapStore> store;
  LoadedMap loaded;
};

// Reads the file's header (a few bytes, without read-ahead) and loads its map.
FitStart PrepareFit(SequentialFile& file, const std::u16string& path, const FitChoice& choice,
                    const std::optional<CacheRoom>& room);

// The map of a whole database file read once from the start into buffer (kReadThroughBufferSize
// bytes); nothing when its header is not one of a database whose pages can be classified or a
// read fails.
std::optional<PageMap> MapByReadingWhole(SequentialFile& file, char* buffer);

// Reads file (opened at path) as described above into buffer (kReadThroughBufferSize bytes).
// already_cached, when set, tells a request of the plan that the cache wholly holds (it is
// then skipped, /SKIPCACHED). progress gets the bytes passed and the bytes of the pass.
FitReadResult FitRead(SequentialFile& file, const std::u16string& path, FitStart start,
                      char* buffer, const std::function<bool(uint64_t, uint64_t)>& already_cached,
                      const std::function<void(uint64_t done, uint64_t total)>& progress);
