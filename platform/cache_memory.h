// The memory the operating system can give its file cache: MemAvailable of /proc/meminfo,
// lowered to the memory limit of this process's own cgroup (v1 or v2, and its ancestors).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Bytes, or nothing when the system does not tell (Windows, an unreadable /proc).
// Test hook: FBWARM_TEST_MEMORY_LIMIT=<bytes> in the environment acts as one more limit.
std::optional<uint64_t> MemoryAvailableForCache();

// The lowest memory limit of the cgroups that cgroup_file (the form of /proc/self/cgroup) names,
// and of their ancestors, under hierarchy_root (the form of /sys/fs/cgroup). For tests.
std::optional<uint64_t> CgroupMemoryLimit(const std::string& cgroup_file,
                                          const std::string& hierarchy_root);
