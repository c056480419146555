// Whether the local Firebird server reads a database past the operating system's file cache
// (it opens the file with O_DIRECT), and what that answer rests on: what the attached server
// told, what its configuration files say where the server cannot tell, and how the server's
// own descriptor of the file is opened. A plain value, worded by the operator report.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tool/server_process.h"

// Where one input came from.
struct InputOrigin {
  enum Kind {
    Server,       // the attached server told it (isc_database_info)
    ServerTable,  // the server's effective settings (RDB$CONFIG); file set it, or its default
    File,         // read from file
    Default,      // set nowhere: the server's built-in default
  };
  Kind kind = Default;
  std::string file;
};

template <class T>
struct VerdictInput {
  T value{};
  InputOrigin origin;
};

// How the server process's own read-write descriptor of the file is opened. The statistics
// action reads through a read-only descriptor of its own without O_DIRECT, so only read-write
// ones tell.
enum class DescriptorEvidence {
  NotLooked,   // no server process to look at
  Direct,      // opened with O_DIRECT
  Plain,       // opened without
  NotOpen,     // the process holds no read-write descriptor of the file
  Unreadable,  // this user may not look at the process's descriptors
};

struct BypassVerdict {
  enum class Outcome {
    NotAsked,      // not the local server, or not a local file: nothing to tell
    Unreached,     // the server could not be asked; failure says why
    Undetermined,  // the inputs could not all be found out, and no descriptor decides
    UsesCache,
    Bypasses,
  };
  Outcome outcome = Outcome::NotAsked;
  std::u16string failure;

  // What the attached server told.
  uint64_t page_buffers = 0;    // in effect now
  uint64_t header_buffers = 0;  // the header's setting; 0 leaves it to DefaultDbCachePages
  int db_class = 0;             // isc_info_db_class
  // Where the page buffers come from when the header leaves them to the server.
  std::optional<VerdictInput<uint64_t>> default_pages;
  // Firebird 4 and later, when set: it decides alone.
  std::optional<VerdictInput<bool>> use_file_system_cache;
  // Nothing when it could not be found out.
  std::optional<VerdictInput<uint64_t>> threshold;

  // The server process behind the port and its configuration directory; when none serves the
  // port, the servers that were seen.
  uint16_t port = 0;
  std::optional<ServerInstance> server;
  std::vector<ServerInstance> servers_seen;

  DescriptorEvidence evidence = DescriptorEvidence::NotLooked;
  int evidence_pid = 0;

  // What the settings alone predict (BypassByRule), for weighing the descriptor against them;
  // set with the outcome.
  std::optional<bool> by_rule;
};

// The engine's rule: UseFileSystemCache decides when it is set (Firebird 4 and later); else
// the file cache is bypassed once the page buffers in effect reach FileSystemCacheThreshold.
// Nothing when the rule's inputs are not known.
std::optional<bool> BypassByRule(const BypassVerdict& verdict);

// Sets the outcome from the inputs: the rule where it can be applied, and the server's
// descriptor, which shows what the server does now, where the rule cannot or disagrees.
void DecideBypass(BypassVerdict& verdict);
