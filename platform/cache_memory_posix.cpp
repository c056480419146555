#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/cache_memory.h"
#include "platform/testing.h"

namespace {

std::optional<uint64_t> g_imposed_limit;

// The value after key in a file of "key value" lines (/proc/meminfo, memory.stat).
std::optional<uint64_t> ValueOf(const std::string& file, const std::string& key) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string name;
    unsigned long long value = 0;
    if (fields >> name >> value && name == key) return value;
  }
  return std::nullopt;
}

// A file that holds one number; "max" (v2) and a missing or unreadable file mean none.
std::optional<uint64_t> NumberIn(const std::string& file) {
  std::ifstream in(file);
  std::string text;
  if (!(in >> text) || text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  return std::stoull(text);
}

// What one group leaves for file cache: its limit less what it holds besides file cache.
struct GroupFiles {
  const char* limit;
  const char* usage;
  std::vector<const char*> file_cache;  // memory.stat keys that count file cache
};
const GroupFiles kV1{
    "memory.limit_in_bytes", "memory.usage_in_bytes", {"total_active_file", "total_inactive_file"}};
const GroupFiles kV2{"memory.max", "memory.current", {"file"}};

std::optional<uint64_t> GroupRoom(const std::string& dir, const GroupFiles& files) {
  const std::optional<uint64_t> limit = NumberIn(dir + "/" + files.limit);
  const std::optional<uint64_t> usage = NumberIn(dir + "/" + files.usage);
  if (!limit || !usage) return std::nullopt;
  uint64_t file_cache = 0;
  for (const char* key : files.file_cache)
    file_cache += ValueOf(dir + "/memory.stat", key).value_or(0);
  // Usage may stand above the limit for a moment: then there is no room at all.
  const uint64_t others = *usage - std::min(*usage, file_cache);
  return *limit - std::min(*limit, others);
}

void Lower(std::optional<CacheRoom>& room, uint64_t bytes, CacheRoom::Source source,
           const std::string& cgroup = {}) {
  if (!room || bytes < room->bytes) room = CacheRoom{bytes, source, cgroup};
}

// Every group from `group` up to the hierarchy's root.
void LowerByGroups(std::optional<CacheRoom>& room, const std::string& hierarchy, std::string group,
                   const GroupFiles& files) {
  while (true) {
    if (auto bytes = GroupRoom(hierarchy + group, files))
      Lower(room, *bytes, CacheRoom::Source::Cgroup, group.empty() ? "/" : group);
    if (group.empty() || group == "/") break;
    group.erase(group.rfind('/'));
  }
}

}  // namespace

void ImposeCacheRoomLimit(std::optional<uint64_t> bytes) { g_imposed_limit = bytes; }

std::optional<CacheRoom> CacheRoomFrom(const std::string& meminfo, const std::string& cgroup_file,
                                       const std::string& cgroup_root) {
  const std::optional<uint64_t> available = ValueOf(meminfo, "MemAvailable:");
  if (!available) return std::nullopt;
  std::optional<CacheRoom> room = CacheRoom{*available * 1024, CacheRoom::Source::MemAvailable, {}};
  // Lines: "ID:CONTROLLERS:PATH"; v2 has "0::PATH", v1 names "memory" among the controllers.
  std::ifstream cgroups(cgroup_file);
  std::string line;
  while (std::getline(cgroups, line)) {
    const size_t first = line.find(':');
    const size_t second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const std::string group = line.substr(second + 1);
    if (controllers.empty()) {
      LowerByGroups(room, cgroup_root, group, kV2);
      LowerByGroups(room, cgroup_root + "/unified", group, kV2);
    } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
      LowerByGroups(room, cgroup_root + "/memory", group, kV1);
    }
  }
  return room;
}

std::optional<CacheRoom> CacheRoomForFiles() {
  std::optional<CacheRoom> room =
      CacheRoomFrom("/proc/meminfo", "/proc/self/cgroup", "/sys/fs/cgroup");
  if (room && g_imposed_limit) Lower(room, *g_imposed_limit, CacheRoom::Source::Imposed);
  return room;
}
