// Residency by both mechanisms against what was cached and evicted, and the kernel's rule that
// only the owner, who is capable over the owner in its user namespace, or a writer gets a
// truthful answer.
#include "platform/residency.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/testing.h"
#include "tests/support/page_cache.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr uint64_t kMiB = 1 << 20;

std::u16string U16(const std::string& path) { return std::u16string(path.begin(), path.end()); }

// The mechanism under test: cachestat where the kernel has it, or mincore forced.
class Mechanism : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { ForceMincoreResidency(std::string(GetParam()) == "mincore"); }
  void TearDown() override { ForceMincoreResidency(false); }
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

  {
    // Held in the cache for as long as the checks run: this machine's reclaim may take pages
    // that are merely read.
    const PinnedInCache second_quarter_held(path, 16 * kMiB, 16 * kMiB);
    ASSERT_EQ(second_quarter_held.Failure(), "");
    const ResidentPages second_quarter = residency.Query(16 * kMiB, 16 * kMiB);
    EXPECT_TRUE(second_quarter.Whole());
    EXPECT_EQ(second_quarter.total, 16 * kMiB / residency.PageSize());
    EXPECT_FALSE(residency.Query(40 * kMiB, 8 * kMiB).Whole());
    // A range that reaches past the end is clipped to the file.
    EXPECT_EQ(residency.Query(64 * kMiB, 10 * kMiB).total, 1u);
    EXPECT_EQ(residency.Query(65 * kMiB, 10 * kMiB).total, 0u);
  }
  {
    const PinnedInCache all_held(path);
    ASSERT_EQ(all_held.Failure(), "");
    EXPECT_TRUE(residency.QueryAll().Whole());
    // The size is the file's size now: a grown file's new pages are counted, and are not cached.
    ASSERT_EQ(truncate(path.c_str(), 80 * kMiB), 0);
    EXPECT_EQ(residency.Size(), 80 * kMiB);
    EXPECT_EQ(residency.QueryAll().total, 80 * kMiB / residency.PageSize());
    EXPECT_FALSE(residency.QueryAll().Whole());
    EXPECT_TRUE(residency.Query(0, 64 * kMiB).Whole());
  }
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
      for (const bool mincore : {false, true}) {
        ForceMincoreResidency(mincore);
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

namespace {

// In a child: enters a new user namespace in which this process is root, mapped to itself
// outside (what `unshare --user --map-root-user` does), and returns the state of path there.
// 99 when the namespace cannot be made.
int StateInOwnUserNamespace(const std::string& path, bool mincore) {
  const uid_t uid = geteuid();
  const gid_t gid = getegid();
  if (unshare(CLONE_NEWUSER) != 0) return 99;
  const auto put = [](const char* file, const std::string& text) {
    const int fd = open(file, O_WRONLY);
    const bool ok = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size());
    if (fd >= 0) close(fd);
    return ok;
  };
  if (!put("/proc/self/setgroups", "deny") ||
      !put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
      !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
    return 99;
  ForceMincoreResidency(mincore);
  FileResidency residency(U16(path));
  residency.QueryAll();
  return static_cast<int>(residency.State());
}

}  // namespace

TEST(Residency, RootInAUserNamespaceIsTrustedOnlyForOwnersMappedIntoIt) {
  if (geteuid() != 0) GTEST_SKIP() << "files of other owners need root to be made";
  ScopedTempDir dir;
  chmod(dir.path().c_str(), 0755);
  // Outside the namespace root owns the first, and nobody (unmapped inside) the others.
  struct Case {
    const char* name;
    uid_t owner;
    mode_t mode;
    ResidencyState expected;
  } cases[] = {
      {"root's", 0, 0644, ResidencyState::Trusted},
      {"nobody's", 65534, 0644, ResidencyState::HiddenFromUser},
      {"nobody's, writable by all", 65534, 0666, ResidencyState::Trusted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / c.name;
    WriteFileBytes(path, std::string(8192, 'x'));
    ASSERT_EQ(chown(path.c_str(), c.owner, c.owner), 0);
    chmod(path.c_str(), c.mode);
    for (const bool mincore : {false, true}) {
      const pid_t child = fork();
      if (child == 0) _exit(StateInOwnUserNamespace(path, mincore));
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status));
      if (WEXITSTATUS(status) == 99) GTEST_SKIP() << "no user namespaces on this host";
      EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(c.expected)) << (mincore ? "mincore" : "");
    }
  }
}
