// The server-cache step (/SERVERCACHE): between the read-through and the statistics run, one
// attachment to the database brings its most valuable pages into the engine's own page buffers,
// which a server with large buffers reads past the file cache. It asks the server whether the
// work would last (a shared cache that outlives the attachment) and whether this user may read
// pages, fills up to 90 % of the buffers in effect, and touches the pages that lead to rows
// again at the end so that they are the most recently used. Reading only: nothing of the
// database or the server's settings changes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ibclient/gds_library.h"
#include "pages/page_map.h"
#include "tool/run_target.h"
#include "tool/tick_source.h"

// The share of the page buffers in effect that the step fills: the cache is LRU, so the pages of
// the statistics run and the first users' own pages find room without pushing the warmed ones
// out.
inline constexpr uint64_t kServerCacheFillPercent = 90;

struct ServerCacheProgress {
  uint64_t done = 0;   // pages brought into the cache so far
  uint64_t total = 0;  // pages the step means to bring
  double seconds = 0;
};

// Pages of one table or index that the step brought into the cache.
struct NamedPages {
  std::string name;  // empty when the catalogue does not know the number
  int relation_id = 0;
  int index_id = -1;  // -1 for a table's data pages
  uint64_t pages = 0;
};

struct ServerCacheResult {
  enum class Skip {
    None,
    NotShared,     // Classic or SuperClassic: each attachment has a cache of its own
    NotKept,       // no linger and no other attachment: the cache goes with the detach
    NoPageRights,  // this user may not read pages by number
  };
  enum class Order {
    ByValue,    // from the page-role map of the file
    FileOrder,  // no map: pages in use in file order, classified as the engine hands them back
  };
  Skip skip = Skip::None;
  std::u16string user;
  int db_class = 0;
  std::optional<int64_t> linger_seconds;
  int ods_major = 0;
  // The server reads this database through the file cache: the step was not needed.
  bool file_cache_serves = false;

  uint64_t page_buffers = 0;  // pages the server caches for the database
  uint64_t used_pages = 0;    // pages of the database in use
  uint32_t page_size = 0;
  Order order = Order::FileOrder;
  uint64_t planned = 0;     // pages the step meant to bring: 90 % of the buffers at most
  uint64_t pages = 0;       // pages brought into the cache
  uint64_t retouched = 0;   // pages touched again at the end
  uint64_t file_reads = 0;  // pages the server read from the file meanwhile (all attachments)
  double seconds = 0;
  std::vector<NamedPages> tables;   // most pages first
  std::vector<NamedPages> indexes;  // most pages first
};

using ServerCacheProgressFn = std::function<void(const ServerCacheProgress&)>;

// The page-role map of the database file, or null when the run has none. Making one may mean
// reading the whole file, so the step asks for it once and only when it is going to bring pages.
using PageMapSource = std::function<const PageMap*()>;

// Attaches to the target's database through library and does the step. With a map from
// map_source the pages are brought in order of value. file_cache_serves: the run found that the
// server reads this database through the file cache; the step runs all the same. Every failure
// raises (the run's failure rules apply).
ServerCacheResult WarmServerCache(const ServerTarget& target, std::shared_ptr<IGDSLibrary> library,
                                  const PageMapSource& map_source, bool file_cache_serves,
                                  TickSource& ticks, const ServerCacheProgressFn& progress);
