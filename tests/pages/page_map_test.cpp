// The page-role map: its runs, look-ups and corrections, and building it from pages.
#include "pages/page_map.h"

#include <gtest/gtest.h>

#include "pages/map_check.h"
#include "pages/page_classifier.h"
#include "pages/page_map_builder.h"
#include "tests/pages/synthetic_pages.h"

namespace {

constexpr uint32_t kPage = 4096;

const PageRole kData128 = Role(PageKind::Data, 128);
const PageRole kData129 = Role(PageKind::Data, 129);
const PageRole kLeaf = Role(PageKind::BTree, 128, 0, 0);
const PageRole kFree = Role(PageKind::Free);
const PageRole kUnknown = Role(PageKind::Unknown);

PageMap MapOf(uint32_t page_count, std::vector<PageRun> runs) {
  std::optional<PageMap> map = PageMap::FromRuns(kPage, page_count, std::move(runs));
  if (!map) throw std::logic_error("runs do not cover the pages");
  return *map;
}

TEST(PageMapTest, RunsMustCoverEveryPageOnce) {
  struct Case {
    const char* name;
    uint32_t page_count;
    std::vector<PageRun> runs;
    bool valid;
  };
  const Case cases[] = {
      {"exact", 10, {{0, 4, kData128}, {4, 6, kLeaf}}, true},
      {"empty file", 0, {}, true},
      {"gap", 10, {{0, 4, kData128}, {5, 5, kLeaf}}, false},
      {"overlap", 10, {{0, 5, kData128}, {4, 6, kLeaf}}, false},
      {"short", 10, {{0, 9, kData128}}, false},
      {"past the end", 10, {{0, 11, kData128}}, false},
      {"empty run", 10, {{0, 10, kData128}, {10, 0, kLeaf}}, false},
      {"count wraps", 10, {{0, 4, kData128}, {4, 0xFFFFFFFE, kLeaf}}, false},
      {"out of order", 10, {{4, 6, kLeaf}, {0, 4, kData128}}, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PageMap::FromRuns(kPage, c.page_count, c.runs).has_value(), c.valid) << c.name;
}

TEST(PageMapTest, NeighboursOfOneRoleAreJoinedAndLookedUp) {
  const PageMap map = MapOf(10, {{0, 3, kData128}, {3, 2, kData128}, {5, 5, kLeaf}});
  EXPECT_EQ(map.runs(), (std::vector<PageRun>{{0, 5, kData128}, {5, 5, kLeaf}}));
  EXPECT_EQ(map.RoleOf(0), kData128);
  EXPECT_EQ(map.RoleOf(4), kData128);
  EXPECT_EQ(map.RoleOf(5), kLeaf);
  EXPECT_EQ(map.RoleOf(9), kLeaf);
  EXPECT_EQ(map.RoleOf(10), kUnknown);
}

TEST(PageMapTest, WithRolesSplitsAndJoinsRuns) {
  const PageMap map = MapOf(10, {{0, 5, kData128}, {5, 5, kLeaf}});
  // A page inside a run, the first page of the next run (joining the run before), and pages
  // past the end (ignored).
  const PageMap changed = map.WithRoles({{2, kData129}, {5, kData128}, {12, kData129}});
  EXPECT_EQ(
      changed.runs(),
      (std::vector<PageRun>{{0, 2, kData128}, {2, 1, kData129}, {3, 3, kData128}, {6, 4, kLeaf}}));
  EXPECT_EQ(changed.page_count(), 10u);
}

TEST(PageMapTest, InventoryReadAgainFreesAndUnfrees) {
  const PageMap map = MapOf(20, {{0, 5, kData128}, {5, 5, kFree}, {10, 10, kLeaf}});
  // The inventory covers pages 0..14 now: 2 and 3 are free, 5..9 are in use again (what they
  // hold now was not seen), pages from 15 on lie outside it.
  const PageMap updated = map.WithInventory({0, 15}, {{2, 2}, {16, 2}});
  EXPECT_EQ(
      updated.runs(),
      (std::vector<PageRun>{
          {0, 2, kData128}, {2, 2, kFree}, {4, 1, kData128}, {5, 5, kUnknown}, {10, 10, kLeaf}}));
}

// A small file: header, inventory with pages 6 and 7 free, pointer page listing data pages,
// data pages (page 6 holds an old data page of a dropped table: free), b-tree pages.
std::vector<SyntheticPage> SmallDatabase(bool encrypted_data) {
  const uint8_t data_flags = encrypted_data ? 0x80 : 0;
  return {HeaderPage(kPage, 12),
          SyntheticPage(kPage, 2, 1).FreeBits({6, 7}),
          SyntheticPage(kPage, 4, 2).PointerTo(128, {3, 4, 0, 9}),
          SyntheticPage(kPage, 5, 3).DataRelation(128).Flags(data_flags),
          SyntheticPage(kPage, 5, 4).DataRelation(128).Flags(data_flags),
          SyntheticPage(kPage, 7, 5).BTree(128, 0, 1),
          SyntheticPage(kPage, 5, 6).DataRelation(130),
          SyntheticPage(kPage, 0, 0),
          SyntheticPage(kPage, 7, 8).BTree(128, 0, 0),
          SyntheticPage(kPage, 5, 9).DataRelation(128).Flags(data_flags)};
}

PageMap Build(const std::vector<SyntheticPage>& pages, const std::vector<uint32_t>& order) {
  PageMapBuilder builder(kPage, static_cast<uint32_t>(pages.size()));
  for (uint32_t number : order) builder.Page(number, pages[number].data());
  return builder.Finish();
}

TEST(PageMapBuilderTest, RolesFreePagesAndTables) {
  const std::vector<SyntheticPage> pages = SmallDatabase(false);
  const PageMap map = Build(pages, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  EXPECT_EQ(map.runs(), (std::vector<PageRun>{{0, 1, Role(PageKind::Header)},
                                              {1, 1, Role(PageKind::PageInventory)},
                                              {2, 1, Role(PageKind::Pointer, 128)},
                                              {3, 2, kData128},
                                              {5, 1, Role(PageKind::BTree, 128, 1, 0)},
                                              {6, 2, kFree},
                                              {8, 1, kLeaf},
                                              {9, 1, kData128}}));
}

TEST(PageMapBuilderTest, EncryptedDataPagesLearnTheirTableFromThePointerPage) {
  const std::vector<SyntheticPage> pages = SmallDatabase(true);
  const PageRole encrypted_data =
      Role(PageKind::Data, 128, PageRole::kNoLevel, PageRole::kNoIndex, true);
  const PageMap map = Build(pages, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  EXPECT_EQ(map.RoleOf(3), encrypted_data);
  EXPECT_EQ(map.RoleOf(4), encrypted_data);
  EXPECT_EQ(map.RoleOf(9), encrypted_data);
  // The pointer page may come after its data pages.
  const PageMap late = Build(pages, {0, 1, 3, 4, 5, 6, 7, 8, 9, 2});
  EXPECT_EQ(late, map);
}

TEST(PageMapBuilderTest, PagesNotSeenAreUnknownAndLatePagesCount) {
  const std::vector<SyntheticPage> pages = SmallDatabase(false);
  // Pages 3 and 4 never come; 9 comes before 8.
  const PageMap map = Build(pages, {0, 1, 2, 5, 6, 7, 9, 8});
  EXPECT_EQ(map.RoleOf(3), kUnknown);
  EXPECT_EQ(map.RoleOf(4), kUnknown);
  EXPECT_EQ(map.RoleOf(8), kLeaf);
  EXPECT_EQ(map.RoleOf(9), kData128);
  // Without the inventory, the dropped table's page and the never-written page show as such.
  const PageMap no_inventory = Build(pages, {0, 2, 3, 4, 5, 6, 7, 8, 9});
  EXPECT_EQ(no_inventory.RoleOf(6), Role(PageKind::Data, 130));
  EXPECT_EQ(no_inventory.RoleOf(7), Role(PageKind::Empty));
}

TEST(MapCheckTest, CorrectsPagesThatChangedAndKeepsWhatAgrees) {
  std::vector<SyntheticPage> pages = SmallDatabase(true);
  const PageMap map = Build(pages, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  // Since the map was made: page 4 became a leaf of another index, page 8 a data page of 129,
  // and the inventory freed page 9 and took 6 and 7 back into use.
  pages[4] = SyntheticPage(kPage, 7, 4).BTree(129, 1, 0);
  pages[8] = SyntheticPage(kPage, 5, 8).DataRelation(129);
  pages[1] = SyntheticPage(kPage, 2, 1).FreeBits({9});
  MapCheck check(map);
  for (uint32_t number : {1, 3, 4, 6, 8}) check.Page(number, pages[number].data());
  EXPECT_EQ(check.pages_checked(), 5u);
  // Page 3 is encrypted: it shows no table, the map's table from the pointer page stays.
  // Page 6 is free in the map: what it still holds is no correction.
  EXPECT_EQ(check.pages_corrected(), 2u);
  const PageMap corrected = check.Corrected();
  EXPECT_EQ(corrected.RoleOf(3), map.RoleOf(3));
  EXPECT_EQ(corrected.RoleOf(4), Role(PageKind::BTree, 129, 0, 1));
  EXPECT_EQ(corrected.RoleOf(8), kData129);
  EXPECT_EQ(corrected.RoleOf(9), kFree);
  EXPECT_EQ(corrected.RoleOf(6), kUnknown);
  EXPECT_EQ(corrected.RoleOf(7), kUnknown);
  EXPECT_EQ(check.checked_by_kind()[static_cast<int>(PageKind::Free)], 1u);
  EXPECT_EQ(check.checked_by_kind()[static_cast<int>(PageKind::Data)], 2u);
  // Reading what the corrected map says finds nothing more to correct.
  MapCheck again(corrected);
  for (uint32_t number : {0, 1, 2, 3, 4, 5, 8}) again.Page(number, pages[number].data());
  EXPECT_EQ(again.pages_corrected(), 0u);
  EXPECT_EQ(again.Corrected(), corrected);
}

}  // namespace
