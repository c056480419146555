// The POSIX files service: links, FIFOs, devices, permissions, the umask and /proc.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "base/text.h"
#include "platform/files.h"
#include "platform/text_encoding.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// The tests' paths are UTF-8, the narrow encoding until the program chooses one.
std::u16string U16(const std::string& utf8) { return FromNarrow(utf8); }

class FilesTest : public testing::Test {
 protected:
  void SetUp() override {
    WriteFileBytes(dir_ / "file", "content");
    fs::create_directory(dir_ / "dir");
    fs::create_symlink(dir_ / "file", dir_ / "link-to-file");
    fs::create_symlink(dir_ / "dir", dir_ / "link-to-dir");
    fs::create_symlink(dir_ / "gone", dir_ / "dangling");
  }
  std::u16string P(const std::string& name) const { return U16(dir_ / name); }
  ScopedTempDir dir_;
};

TEST_F(FilesTest, QueryPathFollowsLinksAndKnowsDevices) {
  const struct {
    std::u16string path;
    PathKind kind;
  } cases[] = {
      {P("link-to-file"), PathKind::File},
      {P("link-to-dir"), PathKind::Directory},
      {P("dangling"), PathKind::Missing},
      {P("file/below"), PathKind::Missing},  // a file where a directory should be
      {P(std::string(300, 'n')), PathKind::Missing},
      {u"/dev/null", PathKind::File},
  };
  for (const auto& c : cases) EXPECT_EQ(QueryPath(c.path), c.kind) << Utf16ToUtf8(c.path);
}

TEST_F(FilesTest, IsLocalFileLooksThroughLinks) {
  EXPECT_TRUE(IsLocalFile(P("link-to-file")));
  EXPECT_FALSE(IsLocalFile(P("link-to-dir")));
  EXPECT_FALSE(IsLocalFile(P("dangling")));
}

TEST_F(FilesTest, OneFileByTwoPathsIsTheSameFileAndACopyIsNot) {
  WriteFileBytes(dir_ / "copy", "content");
  fs::create_hard_link(dir_ / "file", dir_ / "hard");
  EXPECT_TRUE(IsSameFile(P("file"), P("link-to-file")));
  EXPECT_TRUE(IsSameFile(P("file"), P("dir/../hard")));
  EXPECT_FALSE(IsSameFile(P("file"), P("copy")));
  EXPECT_FALSE(IsSameFile(P("dangling"), P("dangling")));  // leads to nothing
  const struct {
    std::u16string path;
    bool absolute;
  } cases[] = {{u"/var/lib/db.fdb", true}, {u"db.fdb", false}, {u"./db.fdb", false},
               {u"main", false},           {u"", false},       {u"C:\\db.fdb", false}};
  for (const auto& c : cases) EXPECT_EQ(IsAbsolutePath(c.path), c.absolute) << Utf16ToUtf8(c.path);
}

TEST_F(FilesTest, UnreadableAttributesAreInaccessibleNotMissing) {
  if (geteuid() == 0) GTEST_SKIP() << "root passes every permission check";
  fs::create_directory(dir_ / "locked");
  WriteFileBytes(dir_ / "locked/inner", "x");
  fs::permissions(dir_ / "locked", fs::perms::none);
  EXPECT_EQ(QueryPath(P("locked/inner")), PathKind::Inaccessible);
  EXPECT_FALSE(IsLocalFile(P("locked/inner")));
}

TEST_F(FilesTest, PathsThatNoNarrowNameCanSpellNameNothing) {
  // Converted blindly, the NUL would cut the path to "file" and the lone surrogate would
  // become '?', naming files that exist.
  WriteFileBytes(dir_ / "a?b", "x");
  const std::u16string with_nul = P("file") + std::u16string(1, u'\0') + u"x";
  const std::u16string with_surrogate = P("a") + std::u16string(1, char16_t(0xD800)) + u"b";
  for (const std::u16string& path : {with_nul, with_surrogate}) {
    EXPECT_EQ(QueryPath(path), PathKind::Missing);
    std::string bytes;
    EXPECT_FALSE(ReadWholeFile(path, bytes));
    EXPECT_FALSE(SequentialFile(path).IsOpen());
  }
  EXPECT_FALSE(MakeDirectory(P("new") + std::u16string(1, char16_t(0xDC00))));
  EXPECT_FALSE(fs::exists(dir_ / "new?"));
}

TEST_F(FilesTest, NonAsciiNamesWorkThroughTheNarrowEncoding) {
  const std::u16string name = P("d\u00e4t\u20ac\U0001F600");
  ASSERT_TRUE(MakeDirectory(name));
  EXPECT_TRUE(fs::is_directory(dir_ / "d\xC3\xA4t\xE2\x82\xAC\xF0\x9F\x98\x80"));
  EXPECT_EQ(QueryPath(name), PathKind::Directory);
}

TEST_F(FilesTest, ReadWholeFileFollowsLinksButRefusesDevicesAndFifos) {
  std::string bytes = "old";
  ASSERT_TRUE(ReadWholeFile(P("link-to-file"), bytes));
  EXPECT_EQ(bytes, "content");

  bytes = "kept";
  // A device or a FIFO has no whole: a device may never end (/dev/zero), and a FIFO without a
  // writer must not hold the caller up.
  EXPECT_FALSE(ReadWholeFile(u"/dev/null", bytes));
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  EXPECT_FALSE(ReadWholeFile(P("fifo"), bytes));
  EXPECT_EQ(bytes, "kept");
}

TEST_F(FilesTest, MakeDirectoryAppliesTheUmask) {
  const mode_t previous = umask(027);
  const bool made = MakeDirectory(P("one"));
  umask(previous);
  ASSERT_TRUE(made);
  struct stat st;
  ASSERT_EQ(stat((dir_ / "one").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0750u);
}

TEST_F(FilesTest, SequentialFileOnADirectoryReadsMinusOne) {
  char buffer[16];
  SequentialFile directory(P("dir"));  // opens, but has no bytes to read
  EXPECT_EQ(directory.Read(buffer, sizeof buffer), -1);
}

TEST_F(FilesTest, SequentialFileClosesItsDescriptor) {
  const auto open_descriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
  };
  const auto before = open_descriptors();
  {
    SequentialFile file(P("file"));
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(open_descriptors(), before + 1);
  }
  EXPECT_EQ(open_descriptors(), before);
}

}  // namespace
