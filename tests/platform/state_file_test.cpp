// The state-file service on every platform: a file's identity, and replacing a file's content
// in one step.
#include "platform/state_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

std::u16string U16(const std::string& path) { return std::u16string(path.begin(), path.end()); }

TEST(StateFileTest, IdentityTellsFilesApartAndFollowsTheSize) {
  ScopedTempDir dir;
  WriteFileBytes(dir / "a", "12345");
  WriteFileBytes(dir / "b", "12345");
  const std::optional<FileIdentity> a = IdentifyFile(U16(dir / "a"));
  const std::optional<FileIdentity> b = IdentifyFile(U16(dir / "b"));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->size, 5u);
  EXPECT_EQ(a->device, b->device);
  EXPECT_NE(a->index, b->index);
  EXPECT_EQ(IdentifyFile(U16(dir / "a")), a);
  // Grown in place: the same file, another size.
  WriteFileBytes(dir / "a", "1234567890");
  const std::optional<FileIdentity> grown = IdentifyFile(U16(dir / "a"));
  ASSERT_TRUE(grown);
  EXPECT_EQ(grown->index, a->index);
  EXPECT_EQ(grown->size, 10u);
  EXPECT_FALSE(IdentifyFile(U16(dir / "missing")));
}

TEST(StateFileTest, ReplacesContentAndLeavesNothingBeside) {
  ScopedTempDir dir;
  const std::string path = dir / "state";
  ASSERT_TRUE(ReplaceFileContent(U16(path), "first"));
  EXPECT_EQ(ReadFileBytes(path), "first");
  // An unfinished file of a writer that died is overwritten, not appended to.
  WriteFileBytes(path + ".new", std::string(100, 'x'));
  std::u16string failure;
  ASSERT_TRUE(ReplaceFileContent(U16(path), std::string("sec\0nd", 6), &failure));
  EXPECT_EQ(ReadFileBytes(path), std::string("sec\0nd", 6));
  EXPECT_FALSE(std::filesystem::exists(path + ".new"));
  ASSERT_TRUE(ReplaceFileContent(U16(path), ""));
  EXPECT_EQ(ReadFileBytes(path), "");
}

TEST(StateFileTest, FailureLeavesTheOldFileAndSaysWhy) {
  ScopedTempDir dir;
  std::u16string failure;
  EXPECT_FALSE(ReplaceFileContent(U16(dir / "missing/state"), "x", &failure));
  EXPECT_FALSE(failure.empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
  // A directory in the way of the rename: the old content stays, nothing is left beside it.
  std::filesystem::create_directory(dir / "taken");
  WriteFileBytes(dir / "taken/inner", "kept");
  failure.clear();
  EXPECT_FALSE(ReplaceFileContent(U16(dir / "taken"), "x", &failure));
  EXPECT_FALSE(failure.empty());
  EXPECT_EQ(ReadFileBytes(dir / "taken/inner"), "kept");
  EXPECT_FALSE(std::filesystem::exists(dir / "taken.new"));
}

}  // namespace
