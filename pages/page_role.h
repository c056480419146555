// What a page of a database file is, as the page-role map keeps it: its kind, and where its
// content is readable, the table (relation) and for b-tree pages the index and level.
#pragma once

#include <cstdint>
#include <string_view>

enum class PageKind : uint8_t {
  Unknown = 0,  // not seen yet, or what it holds is no page of a known type
  Header,
  PageInventory,
  TransactionInventory,
  Pointer,
  Data,
  IndexRoot,
  BTree,
  Blob,
  Generators,
  Scn,
  Empty,  // never written: all of it still zero
  Free,   // marked free by its page inventory, whatever it still holds
};
constexpr int kPageKindCount = static_cast<int>(PageKind::Free) + 1;

// A short English name for logs, benchmarks and test messages ("b-tree", "data").
std::string_view PageKindName(PageKind kind);

struct PageRole {
  static constexpr uint16_t kNoRelation = 0xFFFF;
  static constexpr uint8_t kNoLevel = 0xFF;
  static constexpr uint8_t kNoIndex = 0xFF;

  PageKind kind = PageKind::Unknown;
  // Encrypted on disk: past the first 16 bytes nothing is readable, so relation, index and
  // level stay unknown (a data page may still learn its table from its pointer page).
  bool encrypted = false;
  uint8_t level = kNoLevel;  // b-tree pages: 0 for a leaf
  uint8_t index = kNoIndex;  // b-tree pages: the index's number within its table
  uint16_t relation = kNoRelation;

  bool operator==(const PageRole&) const = default;
};

// Consecutive pages.
struct PageSpan {
  uint32_t first = 0;
  uint32_t count = 0;

  uint32_t end() const { return first + count; }
  bool operator==(const PageSpan&) const = default;
};

// A run of consecutive pages with one role.
struct PageRun {
  uint32_t first = 0;
  uint32_t count = 0;
  PageRole role;

  uint32_t end() const { return first + count; }
  bool operator==(const PageRun&) const = default;
};
