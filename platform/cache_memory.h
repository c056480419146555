// The room the operating system's file cache has for a file: how much of it can stay cached
// at most, by MemAvailable and the memory limits of the cgroups this process runs in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct CacheRoom {
  enum class Source {
    MemAvailable,  // the system's memory: MemAvailable already counts reclaimable file cache
    Cgroup,        // a memory cgroup's limit less what it holds besides file cache
    Imposed,       // a limit set from outside the program (tests and benchmarks)
  };
  uint64_t bytes = 0;
  Source source = Source::MemAvailable;
  std::string cgroup;  // Source::Cgroup: the group as /proc/self/cgroup names its kind, e.g. /a/b
};

// The smallest of MemAvailable and, for each memory cgroup from this process's own up to the
// root, its limit less what it holds that is not file cache (v1: limit - usage +
// total_active_file + total_inactive_file; v2: memory.max - memory.current + file). Nothing
// when the system does not tell (Windows, an unreadable /proc).
std::optional<CacheRoom> CacheRoomForFiles();
