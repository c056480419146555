// The page-role map of databases that the local Firebird servers make, with several page sizes
// (ODS 12 from Firebird 3, ODS 13 from Firebird 4 up to 32 KiB pages), checked against each
// server's own statistics report of the same file: data pages and pointer pages per table, leaf
// buckets per index, each index's root page and depth, each table's first pointer page and
// index root page. One table is dropped before the check: its pages are free but still hold
// what they held, so the map must take the page inventories' word over the pages'.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "pages/database_header.h"
#include "pages/page_classifier.h"
#include "pages/page_map_builder.h"
#include "pages/page_stream.h"
#include "tests/pages/synthetic_pages.h"
#include "tests/support/firebird.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_output.h"

namespace {

struct IndexFacts {
  uint32_t root = 0;
  uint32_t depth = 0;
  uint64_t leaf_buckets = 0;
};

struct TableFacts {
  uint32_t first_pointer_page = 0;
  uint32_t index_root_page = 0;
  uint64_t pointer_pages = 0;
  uint64_t data_pages = 0;
  std::map<uint8_t, IndexFacts> indexes;  // by the index's number within the table
};

// The tables of a statistics report by relation id.
std::map<uint16_t, TableFacts> ParseReport(const std::string& report) {
  const std::regex table(R"(^(\S+) \((\d+)\)\s*$)");
  const std::regex pointers(R"(Primary pointer page: (\d+), Index root page: (\d+))");
  const std::regex pointer_count(R"(Pointer pages: (\d+),)");
  const std::regex data_count(R"(^\s+Data pages: (\d+),)");
  const std::regex index(R"(^\s+Index \S+ \((\d+)\)\s*$)");
  const std::regex root(R"(Root page: (\d+), depth: (\d+), leaf buckets: (\d+),)");
  std::map<uint16_t, TableFacts> tables;
  TableFacts* current = nullptr;
  IndexFacts* current_index = nullptr;
  std::istringstream lines(report);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (std::regex_search(line, m, table)) {
      current = &tables[static_cast<uint16_t>(std::stoul(m[2]))];
    } else if (!current) {
      continue;
    } else if (std::regex_search(line, m, pointers)) {
      current->first_pointer_page = std::stoul(m[1]);
      current->index_root_page = std::stoul(m[2]);
    } else if (std::regex_search(line, m, pointer_count)) {
      current->pointer_pages = std::stoull(m[1]);
    } else if (std::regex_search(line, m, data_count)) {
      current->data_pages = std::stoull(m[1]);
    } else if (std::regex_search(line, m, index)) {
      current_index = &current->indexes[static_cast<uint8_t>(std::stoul(m[1]))];
    } else if (current_index && std::regex_search(line, m, root)) {
      current_index->root = std::stoul(m[1]);
      current_index->depth = std::stoul(m[2]);
      current_index->leaf_buckets = std::stoull(m[3]);
    }
  }
  return tables;
}

// Three tables with a primary key each, one more index on two of them, rows wide and narrow,
// blobs larger than a page; the third table is dropped at the end.
std::string MakingScript(const std::string& connect, uint32_t page_size) {
  return "CREATE DATABASE '" + connect + "' PAGE_SIZE " + std::to_string(page_size) +
         " DEFAULT CHARACTER SET NONE;\n"
         "CREATE TABLE WIDE (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40) NOT NULL,\n"
         "  BODY VARCHAR(1000), DOC BLOB SUB_TYPE TEXT);\n"
         "CREATE TABLE NARROW (ID INTEGER NOT NULL PRIMARY KEY, KIND SMALLINT NOT NULL);\n"
         "CREATE INDEX NARROW_KIND ON NARROW (KIND);\n"
         "CREATE TABLE DROPPED (ID INTEGER NOT NULL PRIMARY KEY, BODY VARCHAR(1000));\n"
         "COMMIT;\n"
         "SET TERM ^ ;\n"
         "EXECUTE BLOCK AS\n"
         "  DECLARE I INTEGER = 0;\n"
         "  DECLARE S VARCHAR(20);\n"
         "BEGIN\n"
         "  WHILE (I < 60000) DO BEGIN\n"
         "    S = 'r' || I || 'qwertzuiop';\n"
         "    INSERT INTO NARROW VALUES (:I, MOD(:I, 7));\n"
         "    IF (I < 4000) THEN\n"
         "      INSERT INTO WIDE VALUES (:I, 'name ' || :I, RPAD('', 900, :S),\n"
         "        IIF(MOD(:I, 400) = 0, RPAD('', 30000, :S) || RPAD('', 30000, :S), NULL));\n"
         "    IF (I < 2000) THEN INSERT INTO DROPPED VALUES (:I, RPAD('', 900, :S));\n"
         "    I = I + 1;\n"
         "  END\n"
         "END^\n"
         "SET TERM ; ^\n"
         "COMMIT;\n"
         "CREATE INDEX WIDE_NAME ON WIDE (NAME);\n"
         "COMMIT;\n"
         "DROP TABLE DROPPED;\n"
         "COMMIT;\n";
}

struct DatabaseCase {
  FirebirdServer server;
  uint32_t page_size;
};

void PrintTo(const DatabaseCase& c, std::ostream* out) {
  *out << c.server.Name() << "_" << c.page_size / 1024 << "KiB";
}

// A database of its own in a directory of its own where the server keeps its databases,
// removed afterwards.
class OwnDatabase {
 public:
  explicit OwnDatabase(const DatabaseCase& c) : server_(c.server) {
    const std::string base = FirebirdShell("echo \"$FBWARM_DB_DIR\"", server_).value_or("");
    if (base.empty()) return;
    dir_ = base + "/scratch-pages-" + std::to_string(getpid());
    path_ = dir_ + "/db" + std::to_string(c.page_size) + ".fdb";
    if (!FirebirdShell("install -d -o firebird -g firebird -m 0770 '" + dir_ + "'", server_))
      return;
    WriteFileBytes(dir_ + "/make.sql", MakingScript(server_.Connect(path_), c.page_size));
    made_ = FirebirdShell("fb_tool isql-fb -q -bail -user SYSDBA -password \"$(fb_password)\" < '" +
                              dir_ + "/make.sql'",
                          server_)
                .has_value();
  }
  ~OwnDatabase() {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  bool made() const { return made_; }
  const std::string& path() const { return path_; }

 private:
  FirebirdServer server_;
  std::string dir_, path_;
  bool made_ = false;
};

// The map of a file, fed in chunks of an odd size so that pages are split across chunk ends.
PageMap MapOfFile(const std::vector<uint8_t>& file, uint32_t page_size) {
  PageMapBuilder builder(page_size, static_cast<uint32_t>(file.size() / page_size));
  PageStream stream(page_size, builder);
  const size_t chunk = 3 * page_size + 1234;
  for (size_t at = 0; at < file.size(); at += chunk)
    stream.Feed(at, file.data() + at, std::min(chunk, file.size() - at));
  return builder.Finish();
}

class RealDatabaseTest : public testing::TestWithParam<DatabaseCase> {};

TEST_P(RealDatabaseTest, MapAgreesWithTheStatisticsReport) {
  const DatabaseCase& c = GetParam();
  SKIP_WITHOUT_SERVER(c.server);
  OwnDatabase db(c);
  ASSERT_TRUE(db.made()) << "isql could not make " << db.path();
  const ProcessResult report = ServerStatistics(c.server, db.path());
  ASSERT_EQ(report.exit_code, 0) << report.err;
  const std::map<uint16_t, TableFacts> tables = ParseReport(report.out);
  ASSERT_EQ(tables.size(), 2u) << report.out;

  const std::string bytes = ReadFileBytes(db.path());
  const std::vector<uint8_t> file(bytes.begin(), bytes.end());
  const std::optional<DatabaseHeader> header = ReadDatabaseHeader(file.data(), file.size());
  ASSERT_TRUE(header);
  EXPECT_EQ(header->page_size, c.page_size);
  EXPECT_EQ(header->ods_major, c.server.version == 3 ? 12 : 13);
  ASSERT_EQ(file.size() % c.page_size, 0u);
  const PageMap map = MapOfFile(file, c.page_size);

  // What the map says, counted per table and per index.
  std::map<uint16_t, uint64_t> data_pages, pointer_pages;
  std::map<std::pair<uint16_t, uint8_t>, uint64_t> leaves;
  std::map<std::pair<uint16_t, uint8_t>, uint8_t> top_level;
  std::map<PageKind, uint64_t> kinds;
  for (const PageRun& run : map.runs()) {
    const PageRole& role = run.role;
    kinds[role.kind] += run.count;
    if (role.kind == PageKind::Data) data_pages[role.relation] += run.count;
    if (role.kind == PageKind::Pointer) pointer_pages[role.relation] += run.count;
    if (role.kind == PageKind::BTree) {
      const auto index = std::make_pair(role.relation, role.index);
      if (role.level == 0) leaves[index] += run.count;
      top_level[index] = std::max(top_level[index], role.level);
    }
  }
  EXPECT_EQ(kinds[PageKind::Unknown], 0u);
  EXPECT_EQ(kinds[PageKind::Header], 1u);
  EXPECT_GT(kinds[PageKind::Blob], 0u);
  EXPECT_GT(kinds[PageKind::Free], 0u);

  for (const auto& [relation, table] : tables) {
    SCOPED_TRACE("relation " + std::to_string(relation));
    EXPECT_EQ(data_pages[relation], table.data_pages);
    EXPECT_EQ(pointer_pages[relation], table.pointer_pages);
    EXPECT_EQ(map.RoleOf(table.first_pointer_page), Role(PageKind::Pointer, relation));
    EXPECT_EQ(map.RoleOf(table.index_root_page), Role(PageKind::IndexRoot, relation));
    EXPECT_FALSE(table.indexes.empty());
    for (const auto& [number, index] : table.indexes) {
      SCOPED_TRACE("index " + std::to_string(number));
      const auto key = std::make_pair(relation, number);
      EXPECT_EQ(leaves[key], index.leaf_buckets);
      EXPECT_EQ(top_level[key] + 1u, index.depth);
      EXPECT_EQ(map.RoleOf(index.root),
                Role(PageKind::BTree, relation, static_cast<uint8_t>(index.depth - 1), number));
    }
  }
  // Some indexes here have more than one level.
  EXPECT_GT(kinds[PageKind::BTree], leaves.size());

  // The dropped table: its data pages are still in the file with its relation id, but free.
  std::set<uint16_t> stale_relations;
  uint64_t stale_pages = 0, stale_not_free = 0;
  for (uint32_t number = 0; number < map.page_count(); ++number) {
    const PageRole raw =
        ClassifyPage(file.data() + size_t{number} * c.page_size, c.page_size, number);
    if (raw.kind == PageKind::Data && raw.relation >= 128 && !tables.count(raw.relation)) {
      stale_relations.insert(raw.relation);
      ++stale_pages;
      if (map.RoleOf(number).kind != PageKind::Free) ++stale_not_free;
    }
  }
  EXPECT_GT(stale_pages, 0u) << "the dropped table left no page to tell";
  EXPECT_EQ(stale_not_free, 0u) << "of " << stale_pages << " data pages of the dropped table";
  for (uint16_t relation : stale_relations) EXPECT_EQ(data_pages[relation], 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, RealDatabaseTest,
    testing::Values(DatabaseCase{kFirebird3, 4096}, DatabaseCase{kFirebird3, 8192},
                    DatabaseCase{kFirebird3, 16384}, DatabaseCase{kFirebird4, 8192},
                    DatabaseCase{kFirebird4, 32768}),
    [](const auto& info) {
      return info.param.server.Name() + "_" + std::to_string(info.param.page_size / 1024) + "KiB";
    });

}  // namespace
