// The one file format of a stored page-role map: what it describes (the key), when it was
// written, and the runs, in a versioned little-endian layout that ends with a CRC-32 of all
// bytes before it. A file that is cut short, altered or of another version decodes to nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pages/database_header.h"
#include "pages/page_map.h"
#include "platform/state_file.h"

// What a map describes: one database file (its identity and size) with one header. A map is
// used only for a file whose key is equal in every part.
struct MapKey {
  FileIdentity file;
  DatabaseHeader header;

  bool operator==(const MapKey&) const = default;
};

struct StoredMap {
  MapKey key;
  int64_t written_at = 0;  // seconds since 1970 (UTC)
  PageMap map;

  bool operator==(const StoredMap&) const = default;
};

std::string EncodeMapFile(const StoredMap& stored);

// The map stored in bytes; none when they are no complete, intact map file of this version.
std::optional<StoredMap> DecodeMapFile(std::string_view bytes);
