#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/cache_memory.h"

namespace {

std::optional<uint64_t> MemAvailable() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key, unit;
  uint64_t value = 0;
  while (meminfo >> key >> value) {
    std::getline(meminfo, unit);
    if (key == "MemAvailable:") return value * 1024;  // the kernel counts in KiB
  }
  return std::nullopt;
}

// A limit file's value; "max" (v2) and missing files mean no limit.
std::optional<uint64_t> LimitIn(const std::string& file) {
  std::ifstream in(file);
  std::string text;
  if (!(in >> text) || text == "max") return std::nullopt;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (end == text.c_str()) return std::nullopt;
  return value;
}

// The lowest limit on the way from this cgroup up to the hierarchy's root.
std::optional<uint64_t> LowestLimit(const std::string& root, std::string group,
                                    const std::string& file) {
  std::optional<uint64_t> lowest;
  while (true) {
    if (auto limit = LimitIn(root + group + "/" + file))
      lowest = lowest ? std::min(*lowest, *limit) : *limit;
    if (group.empty() || group == "/") break;
    group.erase(group.rfind('/'));
  }
  return lowest;
}

}  // namespace

std::optional<uint64_t> CgroupMemoryLimit(const std::string& cgroup_file,
                                          const std::string& hierarchy_root) {
  // Lines: "ID:CONTROLLERS:PATH"; v2 has "0::PATH", v1 names "memory" among the controllers.
  std::ifstream cgroups(cgroup_file);
  std::string line;
  std::optional<uint64_t> lowest;
  while (std::getline(cgroups, line)) {
    const size_t first = line.find(':');
    const size_t second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const std::string group = line.substr(second + 1);
    std::optional<uint64_t> limit;
    if (controllers.empty())
      limit = LowestLimit(hierarchy_root, group, "memory.max");
    else if (("," + controllers + ",").find(",memory,") != std::string::npos)
      limit = LowestLimit(hierarchy_root + "/memory", group, "memory.limit_in_bytes");
    if (limit) lowest = lowest ? std::min(*lowest, *limit) : *limit;
  }
  return lowest;
}

std::optional<uint64_t> MemoryAvailableForCache() {
  std::optional<uint64_t> available = MemAvailable();
  if (!available) return std::nullopt;
  if (auto limit = CgroupMemoryLimit("/proc/self/cgroup", "/sys/fs/cgroup"))
    available = std::min(*available, *limit);
  if (const char* hook = std::getenv("FBWARM_TEST_MEMORY_LIMIT"))
    available = std::min<uint64_t>(*available, std::strtoull(hook, nullptr, 10));
  return available;
}
