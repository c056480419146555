// Classifying single pages, page inventories and pointer pages from their raw bytes.
#include "pages/page_classifier.h"

#include <gtest/gtest.h>

#include "pages/database_header.h"
#include "tests/pages/synthetic_pages.h"

namespace {

constexpr uint32_t kPage = 8192;

struct RoleCase {
  const char* name;
  SyntheticPage page;
  uint32_t number;  // where the page is read
  PageRole expected;
};

void PrintTo(const RoleCase& c, std::ostream* out) { *out << c.name; }

class ClassifyPageTest : public testing::TestWithParam<RoleCase> {};

TEST_P(ClassifyPageTest, RoleFromBytes) {
  const RoleCase& c = GetParam();
  const PageRole role = ClassifyPage(c.page.data(), kPage, c.number);
  EXPECT_EQ(PageKindName(role.kind), PageKindName(c.expected.kind));
  EXPECT_EQ(role, c.expected);
}

const uint8_t kEncrypted = 0x80;

INSTANTIATE_TEST_SUITE_P(
    Pages, ClassifyPageTest,
    testing::Values(
        RoleCase{"header", HeaderPage(kPage, 12), 0, Role(PageKind::Header)},
        RoleCase{"inventory", SyntheticPage(kPage, 2, 1), 1, Role(PageKind::PageInventory)},
        RoleCase{"transactions", SyntheticPage(kPage, 3, 5), 5,
                 Role(PageKind::TransactionInventory)},
        RoleCase{"pointer", SyntheticPage(kPage, 4, 9).PointerTo(131, {10, 11}), 9,
                 Role(PageKind::Pointer, 131)},
        RoleCase{"data", SyntheticPage(kPage, 5, 10).DataRelation(129), 10,
                 Role(PageKind::Data, 129)},
        RoleCase{"index root", SyntheticPage(kPage, 6, 7).IndexRootRelation(128), 7,
                 Role(PageKind::IndexRoot, 128)},
        RoleCase{"b-tree leaf", SyntheticPage(kPage, 7, 70).BTree(128, 2, 0), 70,
                 Role(PageKind::BTree, 128, 0, 2)},
        RoleCase{"b-tree level 2", SyntheticPage(kPage, 7, 71).BTree(300, 0, 2), 71,
                 Role(PageKind::BTree, 300, 2, 0)},
        RoleCase{"blob", SyntheticPage(kPage, 8, 80), 80, Role(PageKind::Blob)},
        RoleCase{"generators", SyntheticPage(kPage, 9, 4), 4, Role(PageKind::Generators)},
        RoleCase{"SCN", SyntheticPage(kPage, 10, 2), 2, Role(PageKind::Scn)},
        // Encrypted: only the 16-byte header is plain; what lies after it is not read.
        RoleCase{"encrypted data", SyntheticPage(kPage, 5, 12).Flags(kEncrypted).DataRelation(129),
                 12,
                 Role(PageKind::Data, PageRole::kNoRelation, PageRole::kNoLevel, PageRole::kNoIndex,
                      true)},
        RoleCase{"encrypted b-tree", SyntheticPage(kPage, 7, 13).Flags(kEncrypted).BTree(128, 1, 0),
                 13,
                 Role(PageKind::BTree, PageRole::kNoRelation, PageRole::kNoLevel,
                      PageRole::kNoIndex, true)},
        // Other flags do not hide anything.
        RoleCase{"data with the full flag",
                 SyntheticPage(kPage, 5, 14).Flags(0x02).DataRelation(140), 14,
                 Role(PageKind::Data, 140)},
        RoleCase{"never written", SyntheticPage(kPage, 0, 0), 33, Role(PageKind::Empty)},
        // A page found elsewhere than its own number says: no page of this place.
        RoleCase{"data at another place", SyntheticPage(kPage, 5, 10).DataRelation(129), 11,
                 Role(PageKind::Unknown)},
        RoleCase{"type 0 with a header", SyntheticPage(kPage, 0, 15), 15, Role(PageKind::Unknown)},
        RoleCase{"type out of range", SyntheticPage(kPage, 11, 16), 16, Role(PageKind::Unknown)},
        RoleCase{"type 0xFF", SyntheticPage(kPage, 0xFF, 17), 17, Role(PageKind::Unknown)},
        // Flags of a page of no known type say nothing either.
        RoleCase{"type out of range, encrypted flag", SyntheticPage(kPage, 12, 18).Flags(0x80), 18,
                 Role(PageKind::Unknown)}));

TEST(PageInventoryTest, PositionsFollowFirebirdsTable) {
  // Pages per inventory page as Firebird's ods.h tabulates them.
  const std::pair<uint32_t, uint32_t> table[] = {
      {4096, 32544}, {8192, 65312}, {16384, 130848}, {32768, 261920}};
  for (const auto& [page_size, per_inventory] : table) {
    SCOPED_TRACE(page_size);
    EXPECT_EQ(PagesPerInventory(page_size), per_inventory);
    EXPECT_TRUE(IsInventoryPosition(1, page_size));
    EXPECT_TRUE(IsInventoryPosition(per_inventory - 1, page_size));
    EXPECT_TRUE(IsInventoryPosition(2 * per_inventory - 1, page_size));
    EXPECT_FALSE(IsInventoryPosition(0, page_size));
    EXPECT_FALSE(IsInventoryPosition(2, page_size));
    EXPECT_FALSE(IsInventoryPosition(per_inventory, page_size));
    EXPECT_EQ(FirstPageOfInventory(1), 0u);
    EXPECT_EQ(FirstPageOfInventory(per_inventory - 1), per_inventory);
    EXPECT_EQ(FirstPageOfInventory(2 * per_inventory - 1), 2 * per_inventory);
  }
}

TEST(PageInventoryTest, FreeRunsFromBits) {
  // Bits across byte boundaries, a whole byte, and single pages.
  const SyntheticPage first =
      SyntheticPage(kPage, 2, 1).FreeBits({3, 7, 8, 9, 16, 17, 18, 19, 20, 21, 22, 23, 24, 40});
  EXPECT_EQ(FreeRuns(first.data(), kPage, 1, 1000),
            (std::vector<PageSpan>{{3, 1}, {7, 3}, {16, 9}, {40, 1}}));
  // Pages past the end of the file are not reported, even where the bits say free.
  EXPECT_EQ(FreeRuns(first.data(), kPage, 1, 20), (std::vector<PageSpan>{{3, 1}, {7, 3}, {16, 4}}));
  // A later inventory page counts from the first page it covers.
  const uint32_t per = PagesPerInventory(kPage);
  const SyntheticPage second = SyntheticPage(kPage, 2, per - 1).FreeBits({0, 1, per - 1});
  EXPECT_EQ(FreeRuns(second.data(), kPage, per - 1, 3 * per),
            (std::vector<PageSpan>{{per, 2}, {2 * per - 1, 1}}));
  EXPECT_TRUE(FreeRuns(second.data(), kPage, per - 1, per).empty());
}

TEST(PointerPageTest, ListsItsDataPages) {
  const SyntheticPage pointer = SyntheticPage(kPage, 4, 9).PointerTo(131, {10, 0, 12, 400});
  EXPECT_EQ(ListedDataPages(pointer.data(), kPage), (std::vector<uint32_t>{10, 12, 400}));
  // A count beyond the page's room is bounded by the room.
  SyntheticPage overfull = SyntheticPage(4096, 4, 9);
  overfull.U16(24, 60000).U32(32, 77);
  EXPECT_EQ(ListedDataPages(overfull.data(), 4096).size(), 1u);
  const SyntheticPage encrypted = SyntheticPage(kPage, 4, 9).PointerTo(131, {10}).Flags(0x80);
  EXPECT_TRUE(ListedDataPages(encrypted.data(), kPage).empty());
  const SyntheticPage data = SyntheticPage(kPage, 5, 9).PointerTo(131, {10});
  EXPECT_TRUE(ListedDataPages(data.data(), kPage).empty());
}

struct HeaderCase {
  const char* name;
  SyntheticPage page;
  size_t size;
  std::optional<DatabaseHeader> expected;
};

void PrintTo(const HeaderCase& c, std::ostream* out) { *out << c.name; }

class DatabaseHeaderTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(DatabaseHeaderTest, Reads) {
  const HeaderCase& c = GetParam();
  EXPECT_EQ(ReadDatabaseHeader(c.page.data(), c.size), c.expected);
}

SyntheticPage Changed(SyntheticPage page, uint32_t offset, uint16_t value) {
  page.U16(offset, value);
  return page;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, DatabaseHeaderTest,
    testing::Values(
        HeaderCase{"Firebird 3, 8 KiB", HeaderPage(8192, 12, 0, 42), 8192,
                   DatabaseHeader{8192, 12, 0, 42}},
        HeaderCase{"Firebird 4, 32 KiB", HeaderPage(32768, 13, 0, 7), 32768,
                   DatabaseHeader{32768, 13, 0, 7}},
        HeaderCase{"Firebird 3, 4 KiB, minor 2", HeaderPage(4096, 12, 2, 1), 100,
                   DatabaseHeader{4096, 12, 2, 1}},
        HeaderCase{"ODS 12 has no 32 KiB pages", HeaderPage(32768, 12), 32768, std::nullopt},
        HeaderCase{"ODS 11", HeaderPage(8192, 11), 8192, std::nullopt},
        HeaderCase{"ODS 14", HeaderPage(8192, 14), 8192, std::nullopt},
        HeaderCase{"no Firebird flag", Changed(HeaderPage(8192, 12), 18, 12), 8192, std::nullopt},
        // The same file written big-endian: the version's bytes swapped.
        HeaderCase{"big-endian", Changed(HeaderPage(8192, 12), 18, 0x0C80), 8192, std::nullopt},
        HeaderCase{"odd page size", Changed(HeaderPage(8192, 12), 16, 6000), 8192, std::nullopt},
        HeaderCase{"not a header page", SyntheticPage(8192, 5, 0), 8192, std::nullopt},
        HeaderCase{"cut short", HeaderPage(8192, 12), 65, std::nullopt}));

}  // namespace
