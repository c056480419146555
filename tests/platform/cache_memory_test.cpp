// The room the file cache has for a file: MemAvailable, and for each memory cgroup from the
// process's own up to the root its limit less what it holds besides file cache (v1 and v2),
// over fixture files; and the limit tests impose.
#include "platform/cache_memory.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/testing.h"
#include "tests/support/temp_dir.h"

namespace {

void Put(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteFileBytes(path, text);
}

constexpr uint64_t kM = 1000000;

}  // namespace

TEST(CacheRoom, EachGroupOnTheWayUpLeavesItsLimitLessWhatItHoldsBesidesFileCache) {
  ScopedTempDir dir;
  const std::string root = dir / "cgroup";
  const std::string meminfo = dir / "meminfo";
  Put(meminfo, "MemTotal:       24000000 kB\nMemFree:  100 kB\nMemAvailable:    2000000 kB\n");
  // v2: 500 MB limit, 300 MB held of which 250 MB file cache: 450 MB of room.
  Put(root + "/a/memory.max", "500000000\n");
  Put(root + "/a/memory.current", "300000000\n");
  Put(root + "/a/memory.stat", "anon 50000000\nfile 250000000\nkernel 0\n");
  Put(root + "/a/b/memory.max", "max\n");
  Put(root + "/a/b/memory.current", "100000000\n");
  Put(root + "/a/b/memory.stat", "anon 100000000\nfile 0\n");
  // v2: the parent's room is the smaller one.
  Put(root + "/p/memory.max", "300000000\n");
  Put(root + "/p/memory.current", "250000000\n");
  Put(root + "/p/memory.stat", "file 0\n");
  Put(root + "/p/c/memory.max", "900000000\n");
  Put(root + "/p/c/memory.current", "10000000\n");
  Put(root + "/p/c/memory.stat", "file 0\n");
  // v2: more held than the limit (the kernel lets usage overshoot for a moment).
  Put(root + "/over/memory.max", "100\n");
  Put(root + "/over/memory.current", "300\n");
  Put(root + "/over/memory.stat", "file 0\n");
  // v2 mounted beside v1 controllers (the hybrid layout).
  Put(root + "/unified/u/memory.max", "700000000\n");
  Put(root + "/unified/u/memory.current", "0\n");
  // v1: 200 MB limit, 150 MB held of which 50 MB file cache: 100 MB of room.
  Put(root + "/memory/x/memory.limit_in_bytes", "200000000\n");
  Put(root + "/memory/x/memory.usage_in_bytes", "150000000\n");
  Put(root + "/memory/x/memory.stat",
      "cache 60000000\nrss 90000000\ntotal_active_file 30000000\ntotal_inactive_file "
      "20000000\n");
  // v1's way of saying "no limit", at the root of the hierarchy.
  Put(root + "/memory/memory.limit_in_bytes", "9223372036854771712\n");
  Put(root + "/memory/memory.usage_in_bytes", "5000000000\n");
  Put(root + "/memory/memory.stat", "total_active_file 0\ntotal_inactive_file 0\n");
  struct Case {
    const char* cgroup;
    uint64_t bytes;
    CacheRoom::Source source;
    std::string group;
  } cases[] = {
      {"0::/a/b\n", 450 * kM, CacheRoom::Source::Cgroup, "/a"},
      {"0::/p/c\n", 50 * kM, CacheRoom::Source::Cgroup, "/p"},
      {"0::/over\n", 0, CacheRoom::Source::Cgroup, "/over"},
      {"0::/u\n", 700 * kM, CacheRoom::Source::Cgroup, "/u"},
      {"4:memory:/x\n0::/\n", 100 * kM, CacheRoom::Source::Cgroup, "/x"},
      {"4:cpu,memory:/\n", 2048 * kM, CacheRoom::Source::MemAvailable, ""},
      {"4:cpu:/x\n", 2048 * kM, CacheRoom::Source::MemAvailable, ""},  // not the memory controller
      {"0::/\n", 2048 * kM, CacheRoom::Source::MemAvailable, ""},
      {"", 2048 * kM, CacheRoom::Source::MemAvailable, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cgroup);
    WriteFileBytes(dir / "cgroup-file", c.cgroup);
    const std::optional<CacheRoom> room = CacheRoomFrom(meminfo, dir / "cgroup-file", root);
    ASSERT_TRUE(room.has_value());
    EXPECT_EQ(room->bytes, c.bytes);
    EXPECT_EQ(room->source, c.source);
    EXPECT_EQ(room->cgroup, c.group);
  }
  // Without MemAvailable there is nothing to go by.
  Put(meminfo, "MemTotal: 1000 kB\n");
  WriteFileBytes(dir / "cgroup-file", "0::/a/b\n");
  EXPECT_FALSE(CacheRoomFrom(meminfo, dir / "cgroup-file", root).has_value());
}

TEST(CacheRoom, AnImposedLimitLowersTheRoomAndNeverRaisesIt) {
  const std::optional<CacheRoom> real = CacheRoomForFiles();
  ASSERT_TRUE(real.has_value()) << "no MemAvailable in /proc/meminfo";
  EXPECT_GT(real->bytes, 0u);
  EXPECT_NE(real->source, CacheRoom::Source::Imposed);
  ImposeCacheRoomLimit(12345);
  const std::optional<CacheRoom> imposed = CacheRoomForFiles();
  ImposeCacheRoomLimit(real->bytes * 1000);
  const std::optional<CacheRoom> above = CacheRoomForFiles();
  ImposeCacheRoomLimit(std::nullopt);
  ASSERT_TRUE(imposed && above);
  EXPECT_EQ(imposed->bytes, 12345u);
  EXPECT_EQ(imposed->source, CacheRoom::Source::Imposed);
  EXPECT_NE(above->source, CacheRoom::Source::Imposed);
  EXPECT_LE(above->bytes, real->bytes * 2);
}
