// Database pages made byte by byte as Firebird lays them out (ODS 12 and 13), and files made of
// them, for the tests of the page-role map.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "pages/page_role.h"

class SyntheticPage {
 public:
  // A page of the given type carrying its own number, as the engine writes every page.
  SyntheticPage(uint32_t page_size, uint8_t type, uint32_t number);

  SyntheticPage& Flags(uint8_t flags);
  SyntheticPage& U8(uint32_t offset, uint8_t value);
  SyntheticPage& U16(uint32_t offset, uint16_t value);
  SyntheticPage& U32(uint32_t offset, uint32_t value);

  // Typed setters for the fields the map reads.
  SyntheticPage& DataRelation(uint16_t relation);
  SyntheticPage& IndexRootRelation(uint16_t relation);
  SyntheticPage& BTree(uint16_t relation, uint8_t index, uint8_t level);
  // A pointer page of the relation listing the data pages (0 for an empty slot).
  SyntheticPage& PointerTo(uint16_t relation, const std::vector<uint32_t>& data_pages);
  // A page inventory page marking the pages free whose bits (relative to the first page it
  // covers) are listed.
  SyntheticPage& FreeBits(const std::vector<uint32_t>& relative_pages);

  const uint8_t* data() const { return bytes_.data(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// A header page (page 0) with the given page size, ODS major and minor and creation date.
SyntheticPage HeaderPage(uint32_t page_size, uint16_t ods_major, uint16_t ods_minor = 0,
                         uint64_t creation_date = 0x0123456789ABCDEFull);

// A role with the given parts.
PageRole Role(PageKind kind, uint16_t relation = PageRole::kNoRelation,
              uint8_t level = PageRole::kNoLevel, uint8_t index = PageRole::kNoIndex,
              bool encrypted = false);

// For failure messages: "data (relation 128)", "b-tree (relation 128, index 1, level 0)".
void PrintTo(PageKind kind, std::ostream* out);
void PrintTo(const PageRole& role, std::ostream* out);

// The pages one after another, as a database file holds them.
std::vector<uint8_t> FileOf(const std::vector<SyntheticPage>& pages);
