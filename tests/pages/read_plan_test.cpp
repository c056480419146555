// Plans over small made-up maps: order of value, merging, the budget, tables in or out, and
// the page order for the server's cache.
#include "pages/read_plan.h"

#include <gtest/gtest.h>

#include "tests/pages/synthetic_pages.h"

namespace {

constexpr uint32_t kPage = 8192;

const PageRole kHeader = Role(PageKind::Header);
const PageRole kInventory = Role(PageKind::PageInventory);
const PageRole kPointer = Role(PageKind::Pointer, 128);
const PageRole kRoot = Role(PageKind::IndexRoot, 128);
const PageRole kUpper = Role(PageKind::BTree, 128, 1, 0);
const PageRole kLeaf = Role(PageKind::BTree, 128, 0, 0);
const PageRole kFree = Role(PageKind::Free);
const PageRole kEmpty = Role(PageKind::Empty);
const PageRole kBlob = Role(PageKind::Blob);
const PageRole kUnknown = Role(PageKind::Unknown);
PageRole Data(uint16_t relation) { return Role(PageKind::Data, relation); }

// A map from roles listed run by run: {count, role}.
PageMap MapOf(const std::vector<std::pair<uint32_t, PageRole>>& runs) {
  std::vector<PageRun> all;
  uint32_t next = 0;
  for (const auto& [count, role] : runs) {
    all.push_back({next, count, role});
    next += count;
  }
  return *PageMap::FromRuns(kPage, next, all);
}

// Requests as {first page, pages}.
std::vector<std::pair<uint64_t, uint64_t>> InPages(const ReadPlan& plan) {
  std::vector<std::pair<uint64_t, uint64_t>> pages;
  for (const ReadRequest& request : plan.requests)
    pages.push_back({request.offset / kPage, request.length / kPage});
  return pages;
}

PlanLimits Limits(uint64_t budget_pages, uint64_t gap_pages = 0, uint64_t max_pages = 1024) {
  PlanLimits limits;
  limits.budget_bytes = budget_pages * kPage;
  limits.merge_gap_bytes = gap_pages * kPage;
  limits.max_request_bytes = max_pages * kPage;
  return limits;
}

// Pages 0..29: the kinds interleaved as in a database that grew in use.
PageMap Interleaved() {
  return MapOf({{1, kHeader},      // 0
                {1, kInventory},   // 1
                {1, kPointer},     // 2
                {1, kRoot},        // 3
                {4, Data(128)},    // 4-7
                {1, kLeaf},        // 8
                {2, kFree},        // 9-10
                {1, kLeaf},        // 11
                {3, Data(129)},    // 12-14
                {1, kUpper},       // 15
                {2, Data(128)},    // 16-17
                {2, kLeaf},        // 18-19
                {2, kEmpty},       // 20-21
                {2, kBlob},        // 22-23
                {1, Data(130)},    // 24
                {1, kUnknown},     // 25
                {4, Data(129)}});  // 26-29
}

TEST(ReadPlanTest, BudgetForEverythingReadsAllButFreeAndEmptyPages) {
  const ReadPlan plan = PlanReads(Interleaved(), Limits(1000));
  // Index pages in one pass; then tables smallest first (130: 1 page, 128: 6, 129: 7); blobs;
  // pages the map does not know.
  EXPECT_EQ(InPages(plan), (std::vector<std::pair<uint64_t, uint64_t>>{{0, 4},
                                                                       {8, 1},
                                                                       {11, 1},
                                                                       {15, 1},
                                                                       {18, 2},  // index pages
                                                                       {24, 1},  // table 130
                                                                       {4, 4},
                                                                       {16, 2},  // table 128
                                                                       {12, 3},
                                                                       {26, 4},     // table 129
                                                                       {22, 2},     // blobs
                                                                       {25, 1}}));  // unknown
  EXPECT_TRUE(plan.indexes_complete);
  EXPECT_EQ(plan.index.runs, 5u);
  EXPECT_EQ(plan.index.requests, 5u);
  EXPECT_EQ(plan.index.page_bytes, 9u * kPage);
  EXPECT_EQ(plan.index.bytes, 9u * kPage);
  EXPECT_EQ(plan.bytes, 26u * kPage);
  ASSERT_EQ(plan.tables.size(), 3u);
  for (const TableFit& table : plan.tables) EXPECT_TRUE(table.included) << table.relation;
  EXPECT_EQ(plan.stage_pages[static_cast<int>(ValueStage::UpperLevels)], 1u);
  EXPECT_EQ(plan.stage_pages[static_cast<int>(ValueStage::Leaves)], 4u);
}

TEST(ReadPlanTest, GapsAreReadWithTheirNeighboursButNeverTwice) {
  // A gap of up to 3 pages joins the index pages 0-3, 8, 11 (free pages 9-10 read with it),
  // 15, 18-19; the data pages read in those gaps are not read again for their tables.
  const ReadPlan plan = PlanReads(Interleaved(), Limits(1000, 3));
  EXPECT_EQ(InPages(plan), (std::vector<std::pair<uint64_t, uint64_t>>{
                               {0, 4},   // 4 pages to page 8: too far
                               {8, 12},  // 8, 11, 15, 18-19 and what lies between
                               {24, 1},  // table 130
                               {4, 4},   // table 128 (16-17 read already)
                               {26, 4},  // table 129 (12-14 read already)
                               {22, 2},  // blobs, not joined to 24 (read already)
                               {25, 1}}));
  EXPECT_EQ(plan.index.runs, 5u);
  EXPECT_EQ(plan.index.requests, 2u);
  EXPECT_EQ(plan.index.page_bytes, 9u * kPage);
  EXPECT_EQ(plan.index.bytes, 16u * kPage);
  EXPECT_EQ(plan.bytes, 28u * kPage);
}

TEST(ReadPlanTest, AGapHoldingPagesReadBeforeIsNotJoined) {
  // Table 128's pages 2 and 4 lie one page apart, but that page (a leaf) was read with the
  // index pages: joining them would read it twice.
  const PageMap map = MapOf(
      {{1, kHeader}, {1, Data(129)}, {1, Data(128)}, {1, kLeaf}, {1, Data(128)}, {2, Data(129)}});
  const ReadPlan plan = PlanReads(map, Limits(1000, 1));
  EXPECT_EQ(InPages(plan), (std::vector<std::pair<uint64_t, uint64_t>>{
                               {0, 1}, {3, 1}, {2, 1}, {4, 1}, {1, 1}, {5, 2}}));
  EXPECT_EQ(plan.bytes, 7u * kPage);
}

TEST(ReadPlanTest, LargestRequestCutsRunsAndJoins) {
  const PageMap map = MapOf({{1, kHeader}, {10, kLeaf}, {1, Data(128)}, {3, kLeaf}});
  const ReadPlan plan = PlanReads(map, Limits(1000, 1, 4));
  EXPECT_EQ(InPages(plan),
            (std::vector<std::pair<uint64_t, uint64_t>>{{0, 4}, {4, 4}, {8, 3}, {12, 3}, {11, 1}}));
  EXPECT_EQ(plan.index.runs, 2u);
}

TEST(ReadPlanTest, SmallBudgetsFollowTheOrderOfValue) {
  struct Case {
    const char* name;
    uint64_t budget_pages;
    std::vector<std::pair<uint64_t, uint64_t>> requests;
    std::vector<bool> tables_in;  // 130, 128, 129
  };
  // Index pages are 9: header and inventory (0-1), pointer and root (2-3), the upper level
  // (15), leaves (8, 11, 18-19).
  const Case cases[] = {
      {"nothing", 0, {}, {false, false, false}},
      {"header and inventory", 2, {{0, 2}}, {false, false, false}},
      {"to pointer and root", 4, {{0, 4}}, {false, false, false}},
      {"to the upper level", 5, {{0, 4}, {15, 1}}, {false, false, false}},
      {"leaves cut", 7, {{0, 4}, {15, 1}, {8, 1}, {11, 1}}, {false, false, false}},
      {"index pages exactly",
       9,
       {{0, 4}, {8, 1}, {11, 1}, {15, 1}, {18, 2}},
       {false, false, false}},
      // The smallest table fits, the next does not: a part of a table is worth nothing; a
      // later, larger table cannot fit either, but blobs fill what is left.
      {"one table and a blob",
       11,
       {{0, 4}, {8, 1}, {11, 1}, {15, 1}, {18, 2}, {24, 1}, {22, 1}},
       {true, false, false}},
      {"two tables",
       16,
       {{0, 4}, {8, 1}, {11, 1}, {15, 1}, {18, 2}, {24, 1}, {4, 4}, {16, 2}},
       {true, true, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadPlan plan = PlanReads(Interleaved(), Limits(c.budget_pages));
    EXPECT_EQ(InPages(plan), c.requests);
    EXPECT_LE(plan.bytes, c.budget_pages * kPage);
    std::vector<bool> in;
    for (const TableFit& table : plan.tables) in.push_back(table.included);
    EXPECT_EQ(in, c.tables_in);
    EXPECT_EQ(plan.indexes_complete, c.budget_pages >= 9);
  }
}

TEST(ReadPlanTest, MergedGapsCountAgainstTheBudget) {
  // Two leaves 4 pages apart: with a gap of 4 they are one request of 6 pages, which a budget of
  // 5 cannot take whole; it is cut at the budget.
  const PageMap map = MapOf({{1, kLeaf}, {4, Data(128)}, {1, kLeaf}});
  EXPECT_EQ(InPages(PlanReads(map, Limits(5, 4))),
            (std::vector<std::pair<uint64_t, uint64_t>>{{0, 5}}));
  EXPECT_EQ(InPages(PlanReads(map, Limits(6, 4))),
            (std::vector<std::pair<uint64_t, uint64_t>>{{0, 6}}));
}

TEST(ReadPlanTest, EmptyMapPlansNothing) {
  EXPECT_TRUE(PlanReads(PageMap(), Limits(100)).requests.empty());
  const PageMap free_only = MapOf({{5, kFree}, {3, kEmpty}});
  const ReadPlan plan = PlanReads(free_only, Limits(100, 8));
  EXPECT_TRUE(plan.requests.empty());
  EXPECT_TRUE(plan.indexes_complete);
}

TEST(PagesByValueTest, OrderAndWholeTables) {
  const PageMap map = Interleaved();
  EXPECT_EQ(PagesByValue(map, 1000),
            (std::vector<uint32_t>{0, 1,  2,  3,  15, 8,  11, 18, 19, 24, 4,  5,  6,
                                   7, 16, 17, 12, 13, 14, 26, 27, 28, 29, 22, 23, 25}));
  // Ten pages: the index pages and the one-page table; 128 (6 pages) does not fit whole.
  EXPECT_EQ(PagesByValue(map, 10), (std::vector<uint32_t>{0, 1, 2, 3, 15, 8, 11, 18, 19, 24}));
  // Twelve: table 128 still does not fit, 129 neither; blobs take what is left.
  EXPECT_EQ(PagesByValue(map, 12),
            (std::vector<uint32_t>{0, 1, 2, 3, 15, 8, 11, 18, 19, 24, 22, 23}));
  EXPECT_EQ(PagesByValue(map, 3), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_TRUE(PagesByValue(map, 0).empty());
}

TEST(PagesByValueTest, DataOfUnknownTablesComesAfterEveryKnownTable) {
  // Encrypted data pages that no pointer page named: a table of their own, after the others
  // however small.
  const PageRole hidden =
      Role(PageKind::Data, PageRole::kNoRelation, PageRole::kNoLevel, PageRole::kNoIndex, true);
  const PageMap map = MapOf({{1, kHeader}, {1, hidden}, {3, Data(200)}});
  EXPECT_EQ(PagesByValue(map, 10), (std::vector<uint32_t>{0, 2, 3, 4, 1}));
  const ReadPlan plan = PlanReads(map, Limits(10));
  ASSERT_EQ(plan.tables.size(), 2u);
  EXPECT_EQ(plan.tables[0].relation, 200);
  EXPECT_EQ(plan.tables[1].relation, PageRole::kNoRelation);
}

}  // namespace
