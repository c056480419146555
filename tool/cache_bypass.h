// Whether the local Firebird server bypasses the operating system's file cache for a database:
// it opens the file with O_DIRECT when the database's page buffers (the "Page buffers" line of
// the report's header, 0 meaning DefaultDbCachePages) reach FileSystemCacheThreshold.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/open_files.h"

// A number of the server's configuration, written like 2048, 64K, 1M or 1G (binary units).
std::optional<uint64_t> ParseConfigNumber(std::string_view text);

// The settings that decide, and the files they came from.
struct ServerCacheConfig {
  uint64_t threshold = 65536;        // FileSystemCacheThreshold, in pages
  uint64_t default_pages = 2048;     // DefaultDbCachePages (SuperServer; 256 for Classic)
  std::vector<std::string> sources;  // the configuration files that were read
};

// Reads firebird.conf from the first of config_dirs that has one, then the entry of
// databases.conf in the same directory whose alias or path is db_path.
ServerCacheConfig ReadServerCacheConfig(const std::string& db_path,
                                        const std::vector<std::string>& config_dirs);

// Where the servers this machine may run keep their configuration: Debian's first.
const std::vector<std::string>& ServerConfigDirs();

// Applies one configuration text (firebird.conf, or one databases.conf block) onto config.
void ApplyConfigText(std::string_view text, ServerCacheConfig& config);

// The per-database block of databases.conf for db_path, or nothing.
std::optional<std::string> DatabaseBlock(std::string_view databases_conf,
                                         const std::string& db_path);

// The value of a "Page buffers" header line of the report, or nothing for any other line.
std::optional<uint64_t> PageBuffersOfReportLine(std::u16string_view line);

// True for a /SERVER value that names this machine's server on its default port: empty,
// 127.0.0.1, localhost or ::1, with no port or 3050.
bool IsLocalServer(std::u16string_view server);

// The pages the server will cache for the database, and whether that bypasses the file cache.
inline uint64_t EffectivePageBuffers(uint64_t page_buffers, const ServerCacheConfig& config) {
  return page_buffers != 0 ? page_buffers : config.default_pages;
}
inline bool BypassesFileCache(uint64_t page_buffers, const ServerCacheConfig& config) {
  return EffectivePageBuffers(page_buffers, config) >= config.threshold;
}

// What can be seen from this machine about one database: the configuration's verdict for the
// page buffers of the report's header (when there was one), and the server's read-write
// descriptors of the file. The statistics action reads through a read-only descriptor of its own,
// opened without O_DIRECT, so read-only descriptors tell nothing.
struct BypassEvidence {
  ServerCacheConfig config;
  bool configured = false;  // the configuration says the server bypasses the cache
  int direct_pid = 0;       // a process holding the file read-write with O_DIRECT, or 0
  int plain_pid = 0;        // a process holding it read-write without O_DIRECT, or 0
};
BypassEvidence GatherBypassEvidence(const std::string& db_path,
                                    std::optional<uint64_t> page_buffers,
                                    const std::vector<ForeignOpening>& openings);
