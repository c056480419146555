// The memory the file cache can use: MemAvailable lowered to cgroup limits (v1 and v2, the
// process's own group and its ancestors) and to the test hook.
#include "platform/cache_memory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace {

void Put(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteFileBytes(path, text);
}

}  // namespace

TEST(CacheMemory, TheLowestLimitOnTheWayUpCountsInBothHierarchies) {
  ScopedTempDir dir;
  const std::string root = dir / "cgroup";
  Put(root + "/a/memory.max", "max\n");
  Put(root + "/a/b/memory.max", "5000\n");
  Put(root + "/c/memory.max", "3000\n");
  Put(root + "/c/d/memory.max", "max\n");
  Put(root + "/memory/x/memory.limit_in_bytes", "9223372036854771712\n");
  Put(root + "/memory/x/y/memory.limit_in_bytes", "7000\n");
  struct Case {
    const char* cgroup;
    std::optional<uint64_t> limit;
  } cases[] = {
      {"0::/a/b\n", 5000},
      {"0::/c/d\n", 3000},  // the parent's limit holds for the child
      {"0::/a\n", std::nullopt},
      {"0::/\n", std::nullopt},
      {"4:memory:/x/y\n0::/\n", 7000},
      {"4:cpu,memory:/x\n", 9223372036854771712ull},  // v1's way of saying "none"
      {"4:cpu:/x/y\n", std::nullopt},                 // not the memory controller
      {"4:memory:/x/y\n0::/c/d\n", 3000},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cgroup);
    WriteFileBytes(dir / "cgroup-file", c.cgroup);
    EXPECT_EQ(CgroupMemoryLimit(dir / "cgroup-file", root), c.limit);
  }
}

TEST(CacheMemory, TheTestHookLowersTheFigureAndNeverRaisesIt) {
  const std::optional<uint64_t> real = MemoryAvailableForCache();
  ASSERT_TRUE(real.has_value()) << "no MemAvailable in /proc/meminfo";
  EXPECT_GT(*real, 0u);
  setenv("FBWARM_TEST_MEMORY_LIMIT", "12345", 1);
  EXPECT_EQ(MemoryAvailableForCache(), 12345u);
  setenv("FBWARM_TEST_MEMORY_LIMIT", std::to_string(*real * 1000).c_str(), 1);
  EXPECT_LE(*MemoryAvailableForCache(), *real * 2);
  unsetenv("FBWARM_TEST_MEMORY_LIMIT");
}
