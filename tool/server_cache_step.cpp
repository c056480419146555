#include "tool/server_cache_step.h"

#include <algorithm>
#include <map>
#include <span>
#include <utility>

#include "pages/page_classifier.h"
#include "pages/read_plan.h"
#include "services/cache_keeping.h"
#include "services/database_attachment.h"
#include "services/database_catalogue.h"
#include "services/engine_cache_facts.h"
#include "services/engine_pages.h"
#include "services/page_counters.h"

namespace {

// Pages that every look-up passes on its way to a row: worth touching again at the end.
bool LeadsToRows(const PageRole& role) {
  switch (role.kind) {
    case PageKind::Header:
    case PageKind::PageInventory:
    case PageKind::TransactionInventory:
    case PageKind::Pointer:
    case PageKind::IndexRoot:
    case PageKind::BTree:
    case PageKind::Generators:
    case PageKind::Scn:
      return true;
    default:
      return false;
  }
}

// The order of the last touches: the least valuable first, so that the most valuable end up the
// most recently used. Leaves, then each b-tree level above them, then pointer and index-root
// pages, the header and inventories last.
int TouchRank(const PageRole& role) {
  switch (role.kind) {
    case PageKind::BTree:
      return 1 + (role.level == PageRole::kNoLevel ? 0 : role.level);
    case PageKind::Pointer:
      return 300;
    case PageKind::IndexRoot:
      return 301;
    default:
      return 302;
  }
}

// Counts what was brought in, by table and index, and keeps the pages that lead to rows.
class PageTally {
 public:
  void Add(uint32_t number, const PageRole& role) {
    if (LeadsToRows(role)) leading_.emplace_back(TouchRank(role), number);
    if (role.relation == PageRole::kNoRelation) return;
    if (role.kind == PageKind::Data)
      ++tables_[{role.relation, -1}];
    else if (role.kind == PageKind::BTree && role.index != PageRole::kNoIndex)
      ++indexes_[{role.relation, role.index}];
  }

  // The pages to touch again, in the order to touch them.
  std::vector<uint32_t> LastTouches() {
    std::stable_sort(leading_.begin(), leading_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<uint32_t> pages;
    for (const auto& [rank, page] : leading_) pages.push_back(page);
    return pages;
  }

  std::vector<NamedPages> Tables(const DatabaseCatalogue& catalogue) const {
    return Named(tables_, [&](int relation, int) { return catalogue.Table(relation); });
  }
  std::vector<NamedPages> Indexes(const DatabaseCatalogue& catalogue) const {
    return Named(indexes_,
                 [&](int relation, int index) { return catalogue.Index(relation, index); });
  }

 private:
  using Counts = std::map<std::pair<int, int>, uint64_t>;

  template <class NameOf>
  static std::vector<NamedPages> Named(const Counts& counts, NameOf name_of) {
    std::vector<NamedPages> named;
    for (const auto& [key, pages] : counts)
      named.push_back({name_of(key.first, key.second), key.first, key.second, pages});
    std::stable_sort(named.begin(), named.end(),
                     [](const NamedPages& a, const NamedPages& b) { return a.pages > b.pages; });
    return named;
  }

  std::vector<std::pair<int, uint32_t>> leading_;
  Counts tables_;
  Counts indexes_;
};

// Brings pages into the engine's cache: with their contents where a few fit one answer (fewer
// round trips, and the pages can be classified), else one touch per page.
class PageBringer {
 public:
  PageBringer(EnginePages& pages, uint32_t page_size, const PageMap* map, PageTally& tally)
      : pages_(pages), page_size_(page_size), map_(map), tally_(tally) {}

  size_t BatchSize() const { return std::max<size_t>(pages_.PagesPerRead(), 1); }
  bool SeesContents() const { return pages_.PagesPerRead() > 0; }

  // Free page runs that the page inventories read so far mark, ascending.
  const std::vector<PageSpan>& FreeRuns() const { return free_; }

  void Bring(std::span<const uint32_t> batch, bool tally) {
    if (!SeesContents()) {
      for (uint32_t page : batch) {
        pages_.Touch(page);
        if (tally && map_) tally_.Add(page, map_->RoleOf(page));
      }
      return;
    }
    const std::vector<std::string> contents = pages_.Read(batch);
    if (!tally) return;
    for (size_t i = 0; i < batch.size(); ++i) {
      const auto* bytes = reinterpret_cast<const uint8_t*>(contents[i].data());
      const PageRole role = ClassifyPage(bytes, page_size_, batch[i]);
      tally_.Add(batch[i], role);
      if (role.kind == PageKind::PageInventory)
        for (const PageSpan& span : ::FreeRuns(bytes, page_size_, batch[i], pages_.FilePages()))
          free_.push_back(span);
    }
  }

 private:
  EnginePages& pages_;
  uint32_t page_size_;
  const PageMap* map_;
  PageTally& tally_;
  std::vector<PageSpan> free_;
};

// The pages in use in file order, skipping the runs that the inventories read so far mark free.
class FileOrder {
 public:
  FileOrder(const PageBringer& bringer, uint32_t file_pages)
      : bringer_(bringer), file_pages_(file_pages) {}

  std::vector<uint32_t> Next(size_t count) {
    std::vector<uint32_t> batch;
    const std::vector<PageSpan>& free = bringer_.FreeRuns();
    while (batch.size() < count && next_ < file_pages_) {
      while (free_at_ < free.size() && free[free_at_].end() <= next_) ++free_at_;
      if (free_at_ < free.size() && free[free_at_].first <= next_) {
        next_ = free[free_at_].end();
        continue;
      }
      batch.push_back(next_++);
    }
    return batch;
  }

 private:
  const PageBringer& bringer_;
  uint32_t file_pages_;
  uint32_t next_ = 0;
  size_t free_at_ = 0;
};

// Whether the map describes this database file as the server sees it now.
bool MapFits(const PageMap* map, uint32_t page_size, uint32_t file_pages) {
  return map && map->page_size() == page_size && map->page_count() == file_pages;
}

// Decides whether the step can do lasting work; sets result.skip when not.
void Decide(DatabaseAttachment& attachment, const EngineCacheFacts& facts,
            ServerCacheResult& result) {
  if (!facts.SharedCache()) {
    result.skip = ServerCacheResult::Skip::NotShared;
    return;
  }
  const CacheKeeping keeping = AskCacheKeeping(attachment);
  result.linger_seconds = keeping.linger_seconds;
  if (!keeping.Kept()) result.skip = ServerCacheResult::Skip::NotKept;
}

}  // namespace

ServerCacheResult WarmServerCache(const ServerTarget& target, std::shared_ptr<IGDSLibrary> library,
                                  const PageMapSource& map_source, bool file_cache_serves,
                                  TickSource& ticks, const ServerCacheProgressFn& progress) {
  ServerCacheResult result;
  result.user = target.user;
  result.file_cache_serves = file_cache_serves;
  DatabaseAttachment attachment(
      std::move(library), {target.server, target.database.path, target.user, target.password});
  const EngineCacheFacts facts = AskEngineCacheFacts(attachment);
  result.db_class = facts.db_class;
  result.ods_major = facts.ods_major;
  result.page_buffers = facts.page_buffers;
  result.page_size = facts.page_size;
  Decide(attachment, facts, result);
  if (result.skip != ServerCacheResult::Skip::None) return result;
  EnginePages pages(attachment, facts.page_size);
  if (!pages.Allowed()) {
    result.skip = ServerCacheResult::Skip::NoPageRights;
    return result;
  }
  const DatabaseCatalogue catalogue = AskDatabaseCatalogue(attachment);
  const PageMap* map = map_source ? map_source() : nullptr;
  result.used_pages = pages.UsedPages();
  result.planned =
      std::min<uint64_t>(facts.page_buffers * kServerCacheFillPercent / 100, pages.UsedPages());

  const uint32_t start = ticks.Now();
  const auto seconds = [&] { return static_cast<double>(ticks.Now() - start) / 1000.0; };
  const PageCounters before = AskDatabasePageCounters(attachment);
  PageTally tally;
  const PageMap* fitting = MapFits(map, facts.page_size, pages.FilePages()) ? map : nullptr;
  PageBringer bringer(pages, facts.page_size, fitting, tally);
  const auto bring = [&](std::span<const uint32_t> batch) {
    bringer.Bring(batch, true);
    result.pages += batch.size();
    if (progress) progress({result.pages, result.planned, seconds()});
  };
  if (fitting) {
    result.order = ServerCacheResult::Order::ByValue;
    std::vector<uint32_t> order = PagesByValue(*fitting, result.planned);
    std::erase_if(order, [&](uint32_t page) { return page >= pages.FilePages(); });
    for (size_t at = 0; at < order.size(); at += bringer.BatchSize())
      bring(std::span(order).subspan(at, std::min(bringer.BatchSize(), order.size() - at)));
  } else {
    FileOrder file_order(bringer, pages.FilePages());
    while (result.pages < result.planned) {
      const std::vector<uint32_t> batch = file_order.Next(static_cast<size_t>(
          std::min<uint64_t>(bringer.BatchSize(), result.planned - result.pages)));
      if (batch.empty()) break;
      bring(batch);
    }
  }
  const std::vector<uint32_t> last = tally.LastTouches();
  for (size_t at = 0; at < last.size(); at += bringer.BatchSize())
    bringer.Bring(std::span(last).subspan(at, std::min(bringer.BatchSize(), last.size() - at)),
                  false);
  result.retouched = last.size();
  const PageCounters after = AskDatabasePageCounters(attachment);
  result.file_reads = static_cast<uint64_t>(std::max<int64_t>(after.reads - before.reads, 0));
  result.seconds = seconds();
  result.tables = tally.Tables(catalogue);
  result.indexes = tally.Indexes(catalogue);
  attachment.Detach();
  return result;
}
