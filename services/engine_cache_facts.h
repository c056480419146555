// What an attached server tells about its page cache for the database: the pages it caches,
// the header's setting, the server mode, and on Firebird 4 and later the effective settings
// with their source (RDB$CONFIG).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "services/database_attachment.h"

// One row of RDB$CONFIG.
struct EngineSetting {
  std::string name;
  std::string value;    // the value in effect, as the server writes it
  bool is_set = false;  // set in a configuration file rather than left at its default
  std::string source;   // the file that set it; empty when not set
};

struct EngineCacheFacts {
  uint64_t page_buffers = 0;    // pages the server caches for the database now
  uint64_t header_buffers = 0;  // the header's "Page buffers"; 0 leaves it to the server
  // isc_info_db_class_server_access (14) for SuperServer, isc_info_db_class_classic_access (13)
  // for Classic and SuperClassic, whose attachments each have a cache of their own.
  int db_class = 0;
  int ods_major = 0;
  int ods_minor = 0;
  uint32_t page_size = 0;
  // The server's effective settings for this database, when it has RDB$CONFIG (Firebird 4
  // and later) and shows this user its rows; nothing on older servers.
  std::optional<std::vector<EngineSetting>> settings;

  // Whether the attachments share one page cache that outlives each of them (SuperServer).
  bool SharedCache() const { return db_class == isc_info_db_class_server_access; }
  // The row of a setting, by name (letter case ignored); nothing when absent.
  const EngineSetting* Setting(const std::string& name) const;
};

// Asks the attached server; raises when the server refuses or answers without the buffers.
EngineCacheFacts AskEngineCacheFacts(DatabaseAttachment& attachment);
