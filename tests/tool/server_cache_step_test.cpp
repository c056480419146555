// The server-cache step over the in-process fake client library and a small database made of
// synthetic pages: what it skips and why, which pages it asks the engine for and in which
// order, what it hands the reporter, and how the reporter words it.
#include "tool/server_cache_step.h"

#include <gtest/gtest.h>

#include "ibclient/errors.h"
#include "pages/page_map_builder.h"
#include "platform/text_encoding.h"
#include "tests/pages/synthetic_pages.h"
#include "tests/support/fake_client_library.h"
#include "tests/support/temp_dir.h"
#include "tool/file_page_map.h"
#include "tool/server_cache_words.h"

namespace {

constexpr uint32_t kPageSize = 4096;
constexpr uint16_t kOrders = 128, kCustomers = 129;

std::string Le32(uint32_t value) {
  return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
          static_cast<char>((value >> 16) & 0xFF), static_cast<char>(value >> 24)};
}

class ManualTicks : public TickSource {
 public:
  uint32_t Now() override { return now += 5; }
  uint32_t now = 0;
};

// 40 pages: header, page and transaction inventories, the ORDERS pointer page and index root,
// a b-tree of two levels (one upper page, two leaves), ORDERS data 10-19, free pages 20-29
// (marked in the page inventory) and CUSTOMERS data 30-39.
std::vector<SyntheticPage> DatabasePages() {
  std::vector<SyntheticPage> pages;
  pages.push_back(HeaderPage(kPageSize, 12));
  std::vector<uint32_t> free;
  for (uint32_t page = 20; page < 30; ++page) free.push_back(page);
  pages.push_back(SyntheticPage(kPageSize, 2, 1).FreeBits(free));
  pages.push_back(SyntheticPage(kPageSize, 3, 2));
  pages.push_back(
      SyntheticPage(kPageSize, 4, 3).PointerTo(kOrders, {10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
  pages.push_back(SyntheticPage(kPageSize, 6, 4).IndexRootRelation(kOrders));
  pages.push_back(SyntheticPage(kPageSize, 7, 5).BTree(kOrders, 0, 1));
  pages.push_back(SyntheticPage(kPageSize, 7, 6).BTree(kOrders, 0, 0));
  pages.push_back(SyntheticPage(kPageSize, 7, 7).BTree(kOrders, 0, 0));
  pages.push_back(SyntheticPage(kPageSize, 4, 8).PointerTo(kCustomers, {30, 31, 32, 33, 34}));
  pages.push_back(SyntheticPage(kPageSize, 6, 9).IndexRootRelation(kCustomers));
  for (uint32_t page = 10; page < 20; ++page)
    pages.push_back(SyntheticPage(kPageSize, 5, page).DataRelation(kOrders));
  for (uint32_t page = 20; page < 30; ++page) pages.push_back(SyntheticPage(kPageSize, 0, page));
  for (uint32_t page = 30; page < 40; ++page)
    pages.push_back(SyntheticPage(kPageSize, 5, page).DataRelation(kCustomers));
  return pages;
}

std::vector<uint32_t> Range(uint32_t first, uint32_t end) {
  std::vector<uint32_t> pages;
  for (uint32_t page = first; page < end; ++page) pages.push_back(page);
  return pages;
}

std::vector<uint32_t> Joined(std::initializer_list<std::vector<uint32_t>> parts) {
  std::vector<uint32_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class ServerCacheStepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const SyntheticPage& page : DatabasePages()) {
      const uint32_t number = static_cast<uint32_t>(fake_->pages.size());
      fake_->pages[number] = std::string(page.bytes().begin(), page.bytes().end());
    }
    Buffers(30);
    fake_->info_values[isc_info_db_class] = Le32(isc_info_db_class_server_access);
    fake_->info_values[isc_info_ods_version] = Le32(12);
    fake_->info_values[isc_info_page_size] = Le32(kPageSize);
    fake_->info_values[fb_info_pages_used] = Le32(30);
    fake_->info_values[fb_info_pages_free] = Le32(10);
    fake_->info_values[isc_info_reads] = Le32(1000);
    fake_->info_values[isc_info_fetches] = Le32(5000);
    // The first result whose key the statement holds answers it: the catalogue's before the
    // plain look-up of a table's name, which finds no RDB$CONFIG (Firebird 3).
    fake_->results.push_back({"FROM RDB$INDICES",
                              {{SQL_SHORT, SQL_SHORT, SQL_TEXT},
                               {{int64_t{kOrders}, int64_t{1}, std::string("PK_ORDERS")}}}});
    fake_->results.push_back({"FROM RDB$PAGES", {{SQL_SHORT, SQL_LONG, SQL_LONG, SQL_SHORT}}});
    fake_->results.push_back({"WHERE RDB$RELATION_ID IS NOT NULL",
                              {{SQL_SHORT, SQL_TEXT},
                               {{int64_t{kOrders}, std::string("ORDERS")},
                                {int64_t{kCustomers}, std::string("CUSTOMERS")}}}});
    Linger(int64_t{900}, 0);
    fake_->results.push_back({"RDB$RELATIONS", {{SQL_LONG}}});
  }

  void Buffers(uint32_t buffers) {
    fake_->info_values[isc_info_num_buffers] = Le32(buffers);
    fake_->info_values[isc_info_set_page_buffers] = Le32(buffers);
  }

  void Linger(ScriptedValue linger, int64_t others) {
    std::erase_if(fake_->results, [](const auto& result) {
      return result.first == "RDB$LINGER" || result.first == "MON$ATTACHMENTS";
    });
    fake_->results.insert(fake_->results.begin(), {"RDB$LINGER", {{SQL_LONG}, {{linger}}}});
    fake_->results.insert(fake_->results.begin(), {"MON$ATTACHMENTS", {{SQL_INT64}, {{others}}}});
  }

  ServerCacheResult Run(const PageMap* map = nullptr, bool file_cache_serves = false) {
    DatabaseLocation database;
    database.path = u"/srv/db/main.fdb";
    const ServerTarget target{u"127.0.0.1", database, u"SYSDBA", u"geheim"};
    const PageMapSource map_source = [this, map] {
      ++maps_asked_;
      return map;
    };
    return WarmServerCache(target, fake_, map_source, file_cache_serves, ticks_,
                           [this](const ServerCacheProgress& p) { progress_.push_back(p); });
  }

  std::shared_ptr<FakeClientLibrary> fake_ = std::make_shared<FakeClientLibrary>();
  ManualTicks ticks_;
  std::vector<ServerCacheProgress> progress_;
  int maps_asked_ = 0;
};

TEST_F(ServerCacheStepTest,
       WithoutAMapFillsNinetyPercentInFileOrderPastFreePagesThenTouchesTheWay) {
  const ServerCacheResult result = Run();
  ASSERT_EQ(result.skip, ServerCacheResult::Skip::None);
  EXPECT_EQ(result.order, ServerCacheResult::Order::FileOrder);
  EXPECT_EQ(result.planned, 27u);  // 90 % of 30 buffers
  EXPECT_EQ(result.pages, 27u);
  // The rights check touches the header; then pages in use in file order, seven to a request,
  // skipping what the page inventory (read in the first request) marks free; then the pages on
  // the way to rows once more, leaves first and the header and inventories last.
  EXPECT_EQ(fake_->pages_asked,
            Joined({{0}, Range(0, 20), Range(30, 37), {6, 7, 5, 3, 8, 4, 9, 0, 1, 2}}));
  EXPECT_EQ(result.retouched, 10u);
  ASSERT_EQ(result.tables.size(), 2u);
  EXPECT_EQ(result.tables[0].name, "ORDERS");
  EXPECT_EQ(result.tables[0].pages, 10u);
  EXPECT_EQ(result.tables[1].name, "CUSTOMERS");
  EXPECT_EQ(result.tables[1].pages, 7u);
  ASSERT_EQ(result.indexes.size(), 1u);
  EXPECT_EQ(result.indexes[0].name, "PK_ORDERS");
  EXPECT_EQ(result.indexes[0].pages, 3u);
  ASSERT_FALSE(progress_.empty());
  EXPECT_EQ(progress_.back().done, 27u);
  EXPECT_EQ(progress_.back().total, 27u);
  EXPECT_EQ(fake_->open_transactions, 0);
  EXPECT_EQ(fake_->calls.back().name, "isc_detach_database");
}

TEST_F(ServerCacheStepTest, WithAMapBringsTheWayToRowsFirstAndATableWholeOrNotAtAll) {
  const std::vector<SyntheticPage> pages = DatabasePages();
  PageMapBuilder fresh(kPageSize, 40);
  for (uint32_t number = 0; number < pages.size(); ++number)
    fresh.Page(number, pages[number].data());
  const PageMap map = fresh.Finish();
  Buffers(20);  // 18 pages: the ten on the way to rows and one table of ten do not fit
  const ServerCacheResult result = Run(&map);
  ASSERT_EQ(result.skip, ServerCacheResult::Skip::None);
  EXPECT_EQ(result.order, ServerCacheResult::Order::ByValue);
  ASSERT_GE(fake_->pages_asked.size(), 11u);
  const std::vector<uint32_t> first_pass(fake_->pages_asked.begin() + 1,
                                         fake_->pages_asked.end() - result.retouched);
  // Header and inventories, pointer and index-root pages, the upper b-tree level, the leaves;
  // no table, as neither fits whole in what is left.
  EXPECT_EQ(first_pass, (std::vector<uint32_t>{0, 1, 2, 3, 4, 8, 9, 5, 6, 7}));
  EXPECT_EQ(result.pages, 10u);
  // A map of another file is not used.
  fake_->Reset();
  SetUp();
  PageMapBuilder other(kPageSize, 41);
  const PageMap foreign = other.Finish();
  EXPECT_EQ(Run(&foreign).order, ServerCacheResult::Order::FileOrder);
}

TEST_F(ServerCacheStepTest, SkipsWhereTheWorkWouldNotLastOrTheUserMayNotReadPages) {
  struct Case {
    const char* what;
    int db_class;
    ScriptedValue linger;
    int64_t others;
    bool denied;
    ServerCacheResult::Skip skip;
    std::string line;
  } cases[] = {
      {"Classic", isc_info_db_class_classic_access, int64_t{900}, 0, false,
       ServerCacheResult::Skip::NotShared,
       "fbwarm: SERVERCACHE uebersprungen: der Server laeuft als Classic oder SuperClassic, dort "
       "hat jede Verbindung ihren eigenen Seitencache, der mit ihr endet. Nur ein SuperServer "
       "teilt ihn zwischen den Verbindungen (ServerMode = Super in firebird.conf)."},
      {"linger never set", isc_info_db_class_server_access, std::monostate(), 0, false,
       ServerCacheResult::Skip::NotKept,
       "fbwarm: SERVERCACHE uebersprungen: LINGER ist nicht gesetzt und keine andere Verbindung "
       "haelt die Datenbank offen, also schliesst der Server sie, sobald fbwarm sich trennt, und "
       "verwirft die geholten Seiten. Abhilfe: einmal ALTER DATABASE SET LINGER TO 900 (als "
       "SYSDBA oder Eigentuemer der Datenbank), dann bleibt sie nach der letzten Verbindung 900 "
       "Sekunden offen."},
      {"linger 0", isc_info_db_class_server_access, int64_t{0}, 0, false,
       ServerCacheResult::Skip::NotKept,
       "fbwarm: SERVERCACHE uebersprungen: LINGER ist 0 und keine andere Verbindung haelt die "
       "Datenbank offen, also schliesst der Server sie, sobald fbwarm sich trennt, und verwirft "
       "die geholten Seiten. Abhilfe: einmal ALTER DATABASE SET LINGER TO 900 (als SYSDBA oder "
       "Eigentuemer der Datenbank), dann bleibt sie nach der letzten Verbindung 900 Sekunden "
       "offen."},
      {"no right to read pages", isc_info_db_class_server_access, int64_t{900}, 0, true,
       ServerCacheResult::Skip::NoPageRights,
       "fbwarm: SERVERCACHE uebersprungen: der Benutzer SYSDBA darf keine Datenbankseiten lesen "
       "(fb_info_page_contents). Firebird 3 erlaubt das nur SYSDBA und dem Eigentuemer der "
       "Datenbank, Firebird 4 und spaeter auch Benutzern mit dem Systemrecht READ_RAW_PAGES; "
       "einen solchen Benutzer mit /USER: angeben."},
      {"linger 0, held by another attachment", isc_info_db_class_server_access, int64_t{0}, 1,
       false, ServerCacheResult::Skip::None, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake_->Reset();
    SetUp();
    fake_->info_values[isc_info_db_class] = Le32(static_cast<uint32_t>(c.db_class));
    Linger(c.linger, c.others);
    fake_->pages_denied = c.denied;
    maps_asked_ = 0;
    const ServerCacheResult result = Run();
    EXPECT_EQ(result.skip, c.skip);
    if (c.skip == ServerCacheResult::Skip::None) {
      EXPECT_EQ(result.pages, 27u);
      EXPECT_EQ(maps_asked_, 1);
      continue;
    }
    // Nothing brought in: at most the header touched to learn the right, and the file not read
    // again for a map.
    EXPECT_LE(fake_->pages_asked.size(), 1u);
    EXPECT_EQ(maps_asked_, 0);
    EXPECT_EQ(result.pages, 0u);
    EXPECT_EQ(ServerCacheLines(result), std::vector<std::string>{c.line});
  }
}

TEST_F(ServerCacheStepTest, AFailureWhileReadingEndsTheStepWithTheServersError) {
  fake_->pages.erase(33);  // as the engine answers a page it cannot read
  EXPECT_THROW(Run(), EIBInterBaseError);
  fake_->Reset();
  SetUp();
  fake_->attach_database_outcomes.push_back(
      {-902, isc_login, {"Your user name and password are not defined."}});
  try {
    Run();
    ADD_FAILURE() << "the refused attachment was not raised";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.IBErrorCode(), isc_login);
  }
}

TEST(ServerCacheWords, TheSummarySaysWhatCameInWhereFromAndForWhichTablesAndIndexes) {
  ServerCacheResult result;
  result.page_buffers = 70000;
  result.used_pages = 90000;
  result.page_size = 8192;
  result.planned = 63000;
  result.pages = 63000;
  result.file_reads = 62000;
  result.retouched = 4100;
  result.seconds = 12.34;
  result.order = ServerCacheResult::Order::ByValue;
  for (int i = 0; i < 12; ++i) result.tables.push_back({"T" + std::to_string(i), 128 + i, -1, 100});
  result.indexes = {{"PK_ORDERS", 128, 0, 3000}, {"", 129, 2, 7}};
  const std::vector<std::string> lines = ServerCacheLines(result);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0],
            "fbwarm: SERVERCACHE: 63000 Seiten (516.1 MB) in 12.3 s in den Seitencache des "
            "Servers geholt, nach Wert geordnet, davon 62000 aus der Datei gelesen; 90 % der 70000 "
            "Seitenpuffer belegt (Ziel 90 %, 90000 Seiten in Gebrauch); 4100 Seiten auf dem Weg zu "
            "den Zeilen zuletzt erneut geholt.");
  EXPECT_EQ(lines[1],
            "fbwarm: SERVERCACHE: Seiten je Tabelle: T0 100, T1 100, T2 100, T3 100, T4 100, T5 "
            "100, T6 100, T7 100, T8 100, T9 100 und 2 weitere");
  EXPECT_EQ(lines[2],
            "fbwarm: SERVERCACHE: Seiten je Index: PK_ORDERS 3000, Index #2 von Tabelle #129 7");
  result.file_cache_serves = true;
  EXPECT_EQ(ServerCacheLines(result).front(),
            "fbwarm: SERVERCACHE: der Server liest diese Datenbank ueber den Dateicache, den der "
            "Lauf schon gefuellt hat; der Schritt ist hier nicht noetig und laeuft, weil er "
            "verlangt wurde.");
  EXPECT_EQ(ServerCacheProgressLine({250, 1000, 1.25}),
            "fbwarm: SERVERCACHE: 25 % (250 von 1000 Seiten), 1.2 s");
}

}  // namespace

namespace {

TEST(FilePageMap, MapsTheLocalDatabaseFileAndRefusesWhatIsNoDatabase) {
  ScopedTempDir dir;
  const std::vector<uint8_t> file = FileOf(DatabasePages());
  WriteFileBytes(dir / "db.fdb", std::string(file.begin(), file.end()));
  const std::optional<PageMap> map = MapOfLocalFile(FromNarrow(dir / "db.fdb"));
  ASSERT_TRUE(map.has_value());
  EXPECT_EQ(map->page_size(), kPageSize);
  EXPECT_EQ(map->page_count(), 40u);
  EXPECT_EQ(map->RoleOf(5), Role(PageKind::BTree, kOrders, 1, 0));
  EXPECT_EQ(map->RoleOf(12).kind, PageKind::Data);
  EXPECT_EQ(map->RoleOf(25).kind, PageKind::Free);
  EXPECT_EQ(map->RoleOf(33), Role(PageKind::Data, kCustomers));

  WriteFileBytes(dir / "text", std::string(3 * kPageSize, 'x'));
  EXPECT_FALSE(MapOfLocalFile(FromNarrow(dir / "text")).has_value());
  EXPECT_FALSE(MapOfLocalFile(FromNarrow(dir / "missing")).has_value());
}

}  // namespace
