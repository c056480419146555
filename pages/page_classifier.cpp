#include "pages/page_classifier.h"

#include <algorithm>

#include "pages/ods_layout.h"

namespace {

PageKind KindOfTypeByte(uint8_t type) {
  switch (type) {
    case ods::kHeader:
      return PageKind::Header;
    case ods::kPageInventory:
      return PageKind::PageInventory;
    case ods::kTransactionInventory:
      return PageKind::TransactionInventory;
    case ods::kPointer:
      return PageKind::Pointer;
    case ods::kData:
      return PageKind::Data;
    case ods::kIndexRoot:
      return PageKind::IndexRoot;
    case ods::kBTree:
      return PageKind::BTree;
    case ods::kBlob:
      return PageKind::Blob;
    case ods::kGenerators:
      return PageKind::Generators;
    case ods::kScn:
      return PageKind::Scn;
    default:
      return PageKind::Unknown;
  }
}

// A page never written is zero throughout; its first 16 bytes tell, and a page with a zero type
// byte but anything else there is no page we know.
bool HeaderIsZero(const uint8_t* page) {
  return ods::Read32(page) == 0 && ods::Read32(page + 4) == 0 && ods::Read32(page + 8) == 0 &&
         ods::Read32(page + 12) == 0;
}

}  // namespace

PageRole ClassifyPage(const uint8_t* page, uint32_t page_size, uint32_t number) {
  PageRole role;
  if (page[0] == ods::kUndefined) {
    if (HeaderIsZero(page)) role.kind = PageKind::Empty;
    return role;
  }
  if (ods::Read32(page + ods::kPageNumberOffset) != number) return role;
  role.kind = KindOfTypeByte(page[0]);
  if (role.kind == PageKind::Unknown) return role;
  role.encrypted = (page[ods::kFlagsOffset] & ods::kEncryptedFlag) != 0;
  if (role.encrypted || page_size < ods::kPointerPagesOffset) return role;
  switch (role.kind) {
    case PageKind::Data:
      role.relation = ods::Read16(page + ods::kDataRelationOffset);
      break;
    case PageKind::Pointer:
      role.relation = ods::Read16(page + ods::kPointerRelationOffset);
      break;
    case PageKind::IndexRoot:
      role.relation = ods::Read16(page + ods::kIndexRootRelationOffset);
      break;
    case PageKind::BTree:
      role.relation = ods::Read16(page + ods::kBTreeRelationOffset);
      role.index = page[ods::kBTreeIndexOffset];
      role.level = page[ods::kBTreeLevelOffset];
      break;
    default:
      break;
  }
  return role;
}

uint32_t PagesPerInventory(uint32_t page_size) {
  return (page_size - ods::kInventoryBitsOffset) * 8;
}

bool IsInventoryPosition(uint32_t number, uint32_t page_size) {
  const uint64_t next = uint64_t{number} + 1;
  return number == ods::kFirstInventoryPage || next % PagesPerInventory(page_size) == 0;
}

uint32_t FirstPageOfInventory(uint32_t number) {
  if (number == ods::kFirstInventoryPage) return 0;
  return number + 1;
}

std::vector<PageSpan> FreeRuns(const uint8_t* inventory, uint32_t page_size, uint32_t number,
                               uint32_t page_count) {
  std::vector<PageSpan> runs;
  const uint32_t first = FirstPageOfInventory(number);
  if (first >= page_count) return runs;
  const uint64_t covered = std::min<uint64_t>(PagesPerInventory(page_size), page_count - first);
  const uint8_t* bits = inventory + ods::kInventoryBitsOffset;
  uint64_t bit = 0;
  while (bit < covered) {
    // Whole bytes without a free page are the common case in a used database.
    if ((bit & 7) == 0 && bits[bit >> 3] == 0) {
      bit += 8;
      continue;
    }
    if (!(bits[bit >> 3] & (1u << (bit & 7)))) {
      ++bit;
      continue;
    }
    const uint64_t start = bit;
    while (bit < covered && (bits[bit >> 3] & (1u << (bit & 7)))) ++bit;
    runs.push_back({static_cast<uint32_t>(first + start), static_cast<uint32_t>(bit - start)});
  }
  return runs;
}

std::vector<uint32_t> ListedDataPages(const uint8_t* pointer_page, uint32_t page_size) {
  std::vector<uint32_t> pages;
  if (pointer_page[0] != ods::kPointer || (pointer_page[ods::kFlagsOffset] & ods::kEncryptedFlag))
    return pages;
  const uint32_t slots = ods::Read16(pointer_page + ods::kPointerCountOffset);
  // Each slot takes a page number and a byte of flags after the page numbers.
  const uint32_t room = (page_size - ods::kPointerPagesOffset) / 5;
  for (uint32_t slot = 0; slot < slots && slot < room; ++slot) {
    const uint32_t page = ods::Read32(pointer_page + ods::kPointerPagesOffset + 4 * slot);
    if (page != 0) pages.push_back(page);
  }
  return pages;
}
