#include "platform/cache_memory.h"

// Left out on Windows: its cache manager sizes itself and the warning rests on Linux's figures.
std::optional<uint64_t> MemoryAvailableForCache() { return std::nullopt; }

std::optional<uint64_t> CgroupMemoryLimit(const std::string&, const std::string&) {
  return std::nullopt;
}
