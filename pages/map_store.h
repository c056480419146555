// Where page-role maps are kept between runs: one file per database path in a directory that
// the caller chooses. A map that is missing, damaged, of another file or stale is told apart
// and not used; writing one replaces the old file in one step, so a writer that is killed
// leaves the old map.
#pragma once

#include <optional>
#include <string>

#include "pages/map_file.h"

enum class MapStatus {
  Loaded,
  Missing,  // no map for this database path yet (or the file cannot be read)
  Damaged,  // cut short, altered, or written by another version
  Foreign,  // of another file at this path (replaced, restored)
  Stale,    // of this file as it was: it has grown or shrunk, or was made anew in place
};

struct LoadedMap {
  MapStatus status = MapStatus::Missing;
  std::optional<StoredMap> stored;  // set when Loaded
};

class MapStore {
 public:
  explicit MapStore(std::u16string directory);

  // The map file of a database path: in the directory, named after the path's last component
  // (letters, digits, '.', '-' and '_' kept) and a checksum of the whole path.
  std::u16string PathFor(const std::u16string& database_path) const;

  // The map of the database at database_path when its key is `key`.
  LoadedMap Load(const std::u16string& database_path, const MapKey& key) const;

  // Stores a map, creating the directory (and its parents) when missing. False on failure,
  // with the system's reason in *failure.
  bool Save(const std::u16string& database_path, const StoredMap& stored,
            std::u16string* failure = nullptr) const;

 private:
  std::u16string directory_;
};
