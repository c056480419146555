#include "pages/database_header.h"

#include "pages/ods_layout.h"

namespace {

bool IsKnownPageSize(uint32_t size) {
  return size == 4096 || size == 8192 || size == 16384 || size == 32768;
}

}  // namespace

std::optional<DatabaseHeader> ReadDatabaseHeader(const uint8_t* bytes, size_t size) {
  if (size < ods::kHeaderSize || bytes[0] != ods::kHeader ||
      ods::Read32(bytes + ods::kPageNumberOffset) != 0)
    return std::nullopt;
  const uint16_t version = ods::Read16(bytes + ods::kHeaderOdsVersionOffset);
  if (!(version & ods::kFirebirdOdsFlag)) return std::nullopt;
  DatabaseHeader header;
  header.page_size = ods::Read16(bytes + ods::kHeaderPageSizeOffset);
  header.ods_major = version & ~ods::kFirebirdOdsFlag;
  header.ods_minor = ods::Read16(bytes + ods::kHeaderOdsMinorOffset);
  header.creation_date = uint64_t{ods::Read32(bytes + ods::kHeaderCreationDateOffset)} |
                         uint64_t{ods::Read32(bytes + ods::kHeaderCreationDateOffset + 4)} << 32;
  if (!IsKnownPageSize(header.page_size)) return std::nullopt;
  if (header.ods_major != 12 && header.ods_major != 13) return std::nullopt;
  if (header.ods_major == 12 && header.page_size > 16384) return std::nullopt;
  return header;
}
