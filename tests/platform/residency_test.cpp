// Residency by both mechanisms against what was cached and evicted, and the kernel's rule that
// only the owner, CAP_FOWNER or a writer gets a truthful answer.
#include "platform/residency.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/page_cache.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr uint64_t kMiB = 1 << 20;

std::u16string U16(const std::string& path) { return std::u16string(path.begin(), path.end()); }

// The mechanism under test: cachestat where the kernel has it, or mincore forced.
class Mechanism : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (std::string(GetParam()) == "mincore") setenv("FBWARM_TEST_RESIDENCY", "mincore", 1);
  }
  void TearDown() override { unsetenv("FBWARM_TEST_RESIDENCY"); }
};

}  // namespace

TEST_P(Mechanism, CountsExactlyThePagesThatWereReadAndNothingAfterEviction) {
  ScopedTempDir dir;
  const std::string path = dir / "db.fdb";
  WriteFileBytes(path, "");
  std::filesystem::resize_file(path, 64 * kMiB + 100);  // sparse: holes are cached as zeros
  EvictFromCache(path);
  FileResidency residency(U16(path));
  ASSERT_EQ(residency.State(), ResidencyState::Trusted);
  if (std::string(GetParam()) == "cachestat" && std::string(residency.Mechanism()) != "cachestat")
    GTEST_SKIP() << "this kernel has no cachestat (Linux 6.5 and later)";
  EXPECT_STREQ(residency.Mechanism(), GetParam());
  EXPECT_EQ(residency.Size(), 64 * kMiB + 100);
  const uint64_t pages = (64 * kMiB + 100 + residency.PageSize() - 1) / residency.PageSize();
  EXPECT_EQ(residency.QueryAll().total, pages);
  EXPECT_LT(residency.QueryAll().resident, pages / 20);

  ASSERT_TRUE(ReadIntoCache(path, 16 * kMiB, 16 * kMiB));
  const ResidentPages second_quarter = residency.Query(16 * kMiB, 16 * kMiB);
  EXPECT_TRUE(second_quarter.Whole());
  EXPECT_EQ(second_quarter.total, 16 * kMiB / residency.PageSize());
  EXPECT_FALSE(residency.Query(40 * kMiB, 8 * kMiB).Whole());
  // A range that reaches past the end is clipped to the file.
  EXPECT_EQ(residency.Query(64 * kMiB, 10 * kMiB).total, 1u);
  EXPECT_EQ(residency.Query(65 * kMiB, 10 * kMiB).total, 0u);

  ASSERT_TRUE(ReadIntoCache(path, 0, 65 * kMiB));
  EXPECT_TRUE(residency.QueryAll().Whole());
  EvictFromCache(path);
  EXPECT_LT(residency.QueryAll().resident, pages / 20);
  // Asking brought nothing in.
  EXPECT_LT(residency.QueryAll().resident, pages / 20);
}

INSTANTIATE_TEST_SUITE_P(Residency, Mechanism, ::testing::Values("cachestat", "mincore"));

TEST(Residency, AnotherUsersFileIsTrustedOnlyWhenThisUserMayWriteIt) {
  if (geteuid() != 0) GTEST_SKIP() << "switching to another user needs root";
  ScopedTempDir dir;
  chmod(dir.path().c_str(), 0755);
  struct Case {
    const char* name;
    mode_t mode;
    bool owned_by_nobody;
    ResidencyState expected;
  } cases[] = {
      {"root's, readable", 0644, false, ResidencyState::HiddenFromUser},
      {"root's, writable by all", 0666, false, ResidencyState::Trusted},
      {"nobody's own", 0644, true, ResidencyState::Trusted},
      {"root's, unreadable", 0600, false, ResidencyState::Unavailable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / c.name;
    WriteFileBytes(path, std::string(8192, 'x'));
    chmod(path.c_str(), c.mode);
    if (c.owned_by_nobody) {
      ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    }
    const pid_t child = fork();
    if (child == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
      for (const char* mechanism : {"", "mincore"}) {
        setenv("FBWARM_TEST_RESIDENCY", mechanism, 1);
        FileResidency residency(U16(path));
        if (residency.State() != c.expected) _exit(static_cast<int>(residency.State()) + 1);
        residency.QueryAll();  // a trusted answer stays trusted when asked
        if (residency.State() != c.expected) _exit(10);
      }
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "state + 1 the child saw instead (99: setuid failed)";
  }
  // Root itself has CAP_FOWNER: every file's answer is trusted.
  EXPECT_EQ(FileResidency(U16(dir / "root's, readable")).State(), ResidencyState::Trusted);
}

TEST(Residency, WhatDoesNotOpenOrIsNoFileHasNoAnswer) {
  ScopedTempDir dir;
  for (const std::string& path : {dir / "missing", dir.path(), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    FileResidency residency(U16(path));
    EXPECT_EQ(residency.State(), ResidencyState::Unavailable);
    EXPECT_EQ(residency.QueryAll().total, 0u);
  }
}
