// The header page (page 0) of a Firebird database file, as far as the page-role map needs it:
// the page size, the on-disk structure's version and the creation date, which with the file's
// identity tell whether a stored map still describes this database.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

struct DatabaseHeader {
  uint32_t page_size = 0;
  uint16_t ods_major = 0;
  uint16_t ods_minor = 0;
  // The creation date as stored: the ISC date (days) in the low half and the time of day
  // (1/10000 s) in the high half. Unlike the header's counters it never changes.
  uint64_t creation_date = 0;

  bool operator==(const DatabaseHeader&) const = default;
};

// The header of a database whose pages this module can read (ODS 12 or 13, a page size of
// 4, 8, 16 or 32 KiB), from the first `size` bytes of its file; none for anything else.
std::optional<DatabaseHeader> ReadDatabaseHeader(const uint8_t* bytes, size_t size);
