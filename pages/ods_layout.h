// Where Firebird keeps what the map needs in its database pages, for on-disk structures 12
// (Firebird 3) and 13 (13.0 Firebird 4, 13.1 Firebird 5), which agree on every field used
// here. Numbers are in the writing machine's byte order; only little-endian files are read (a
// big-endian one shows no Firebird flag in its ODS version and is not taken for a database).
#pragma once

#include <cstdint>

namespace ods {

// Byte 0 of every page.
enum PageTypeByte : uint8_t {
  kUndefined = 0,
  kHeader = 1,
  kPageInventory = 2,
  kTransactionInventory = 3,
  kPointer = 4,
  kData = 5,
  kIndexRoot = 6,
  kBTree = 7,
  kBlob = 8,
  kGenerators = 9,
  kScn = 10,
};

// Every page starts with 16 bytes: type, flags, two reserved bytes, generation, SCN, and the
// page's own number (for validation).
constexpr uint32_t kPageHeaderSize = 16;
constexpr uint32_t kFlagsOffset = 1;
constexpr uint32_t kPageNumberOffset = 12;
// In the flags byte: the page is encrypted on disk. Only its first 16 bytes are then readable.
constexpr uint8_t kEncryptedFlag = 0x80;

// The header page (page 0).
constexpr uint32_t kHeaderPageSizeOffset = 16;      // USHORT
constexpr uint32_t kHeaderOdsVersionOffset = 18;    // USHORT: 0x8000 | major
constexpr uint32_t kHeaderCreationDateOffset = 44;  // two SLONG: ISC date and time
constexpr uint32_t kHeaderOdsMinorOffset = 64;      // USHORT
constexpr uint32_t kHeaderSize = 66;                // the fields read, all within this
constexpr uint16_t kFirebirdOdsFlag = 0x8000;

// Data page: relation (USHORT).
constexpr uint32_t kDataRelationOffset = 20;
// Pointer page: number of slots in use (USHORT), relation (USHORT), then the data pages it
// lists (ULONG each, 0 for an empty slot).
constexpr uint32_t kPointerCountOffset = 24;
constexpr uint32_t kPointerRelationOffset = 26;
constexpr uint32_t kPointerPagesOffset = 32;
// Index root page: relation (USHORT).
constexpr uint32_t kIndexRootRelationOffset = 16;
// B-tree page: relation (USHORT), index id within the relation (UCHAR), level (UCHAR, 0 for a
// leaf).
constexpr uint32_t kBTreeRelationOffset = 28;
constexpr uint32_t kBTreeIndexOffset = 32;
constexpr uint32_t kBTreeLevelOffset = 33;
// Page inventory page: one bit per page from this offset on, set for a free page.
constexpr uint32_t kInventoryBitsOffset = 28;
// The first page inventory page; the n-th further one (n >= 1) is page n * pages per
// inventory - 1.
constexpr uint32_t kFirstInventoryPage = 1;

inline uint16_t Read16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

inline uint32_t Read32(const uint8_t* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

}  // namespace ods
