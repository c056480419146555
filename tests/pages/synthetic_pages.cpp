#include "tests/pages/synthetic_pages.h"

SyntheticPage::SyntheticPage(uint32_t page_size, uint8_t type, uint32_t number)
    : bytes_(page_size, 0) {
  bytes_[0] = type;
  U32(12, number);
}

SyntheticPage& SyntheticPage::Flags(uint8_t flags) { return U8(1, flags); }

SyntheticPage& SyntheticPage::U8(uint32_t offset, uint8_t value) {
  bytes_.at(offset) = value;
  return *this;
}

SyntheticPage& SyntheticPage::U16(uint32_t offset, uint16_t value) {
  U8(offset, value & 0xFF);
  return U8(offset + 1, value >> 8);
}

SyntheticPage& SyntheticPage::U32(uint32_t offset, uint32_t value) {
  U16(offset, value & 0xFFFF);
  return U16(offset + 2, value >> 16);
}

SyntheticPage& SyntheticPage::DataRelation(uint16_t relation) { return U16(20, relation); }

SyntheticPage& SyntheticPage::IndexRootRelation(uint16_t relation) { return U16(16, relation); }

SyntheticPage& SyntheticPage::BTree(uint16_t relation, uint8_t index, uint8_t level) {
  U16(28, relation);
  U8(32, index);
  return U8(33, level);
}

SyntheticPage& SyntheticPage::PointerTo(uint16_t relation, const std::vector<uint32_t>& pages) {
  U16(24, static_cast<uint16_t>(pages.size()));
  U16(26, relation);
  for (size_t slot = 0; slot < pages.size(); ++slot) U32(32 + 4 * slot, pages[slot]);
  return *this;
}

SyntheticPage& SyntheticPage::FreeBits(const std::vector<uint32_t>& relative_pages) {
  for (uint32_t bit : relative_pages) bytes_.at(28 + bit / 8) |= 1 << (bit % 8);
  return *this;
}

SyntheticPage HeaderPage(uint32_t page_size, uint16_t ods_major, uint16_t ods_minor,
                         uint64_t creation_date) {
  SyntheticPage page(page_size, 1, 0);
  page.U16(16, static_cast<uint16_t>(page_size));
  page.U16(18, 0x8000 | ods_major);
  page.U32(44, static_cast<uint32_t>(creation_date));
  page.U32(48, static_cast<uint32_t>(creation_date >> 32));
  page.U16(64, ods_minor);
  return page;
}

PageRole Role(PageKind kind, uint16_t relation, uint8_t level, uint8_t index, bool encrypted) {
  PageRole role;
  role.kind = kind;
  role.relation = relation;
  role.level = level;
  role.index = index;
  role.encrypted = encrypted;
  return role;
}

std::vector<uint8_t> FileOf(const std::vector<SyntheticPage>& pages) {
  std::vector<uint8_t> file;
  for (const SyntheticPage& page : pages)
    file.insert(file.end(), page.bytes().begin(), page.bytes().end());
  return file;
}

void PrintTo(PageKind kind, std::ostream* out) { *out << PageKindName(kind); }

void PrintTo(const PageRole& role, std::ostream* out) {
  *out << PageKindName(role.kind) << " (";
  const char* separator = "";
  const auto part = [&](const char* name, int value, int unknown) {
    if (value == unknown) return;
    *out << separator << name << " " << value;
    separator = ", ";
  };
  part("relation", role.relation, PageRole::kNoRelation);
  part("index", role.index, PageRole::kNoIndex);
  part("level", role.level, PageRole::kNoLevel);
  if (role.encrypted) *out << separator << "encrypted";
  *out << ")";
}
