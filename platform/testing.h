// Choices that tests and benchmarks make for the platform layer, and its inner steps they check
// against fixtures. Only test and benchmark code includes this header; the program never calls
// these. Linux only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/cache_memory.h"

// Residency is asked by mincore even where the kernel has cachestat.
void ForceMincoreResidency(bool force);

// One more limit on CacheRoomForFiles (Source::Imposed when it is the smallest); nullopt
// removes it.
void ImposeCacheRoomLimit(std::optional<uint64_t> bytes);

// CacheRoomForFiles over other files: meminfo in the form of /proc/meminfo, cgroup_file in the
// form of /proc/self/cgroup, cgroup_root in the form of /sys/fs/cgroup (v1 controllers in
// directories named after them, v2 at the root or in "unified").
std::optional<CacheRoom> CacheRoomFrom(const std::string& meminfo, const std::string& cgroup_file,
                                       const std::string& cgroup_root);
