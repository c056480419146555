// The files service, alike on every platform: what a path names, making one directory level,
// and reading a file whole or in pieces. Each platform's own cases (links, FIFOs, the umask, /proc;
// drive letters, sharing modes, access lists) are in files_posix_test.cpp and files_win32_test.cpp.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

class SharedFilesTest : public testing::Test {
 protected:
  // The test directory's names are ASCII; the platform's separator joins them.
  std::u16string P(const std::string& name) const {
    std::u16string path(dir_.path().begin(), dir_.path().end());
    path += PathSeparator();
    for (char c : name) path += c == '/' ? PathSeparator() : char16_t(c);
    return path;
  }
  ScopedTempDir dir_;
};

TEST_F(SharedFilesTest, WhatAPathNamesAndWhetherItIsALocalFile) {
  WriteFileBytes(dir_ / "file", "content");
  ASSERT_TRUE(MakeDirectory(P("dir")));
  const struct {
    std::u16string path;
    PathKind kind;
    bool local_file;
  } cases[] = {
      {P("file"), PathKind::File, true},
      {P("dir"), PathKind::Directory, false},
      {P("dir/"), PathKind::Directory, false},
      {P("nothing"), PathKind::Missing, false},
      {P("nothing/deeper"), PathKind::Missing, false},
      {u"", PathKind::Missing, false},
  };
  for (const auto& c : cases) {
    const std::string shown(c.path.begin(), c.path.end());
    EXPECT_EQ(QueryPath(c.path), c.kind) << shown;
    EXPECT_EQ(IsLocalFile(c.path), c.local_file) << shown;
  }
}

TEST_F(SharedFilesTest, MakeDirectoryCreatesOneLevel) {
  ASSERT_TRUE(MakeDirectory(P("one")));
  EXPECT_EQ(QueryPath(P("one")), PathKind::Directory);
  EXPECT_FALSE(MakeDirectory(P("one"))) << "exists already";
  WriteFileBytes(dir_ / "file", "x");
  EXPECT_FALSE(MakeDirectory(P("file"))) << "a file is in the way";
  EXPECT_FALSE(MakeDirectory(P("two/three"))) << "parent missing";
  EXPECT_EQ(QueryPath(P("two")), PathKind::Missing);
  EXPECT_FALSE(MakeDirectory(u""));
}

TEST_F(SharedFilesTest, ReadWholeFileReadsRegularFilesOnly) {
  WriteFileBytes(dir_ / "file", "content");
  std::string bytes = "old";
  ASSERT_TRUE(ReadWholeFile(P("file"), bytes));
  EXPECT_EQ(bytes, "content");

  const std::string big(200000, 'b');
  WriteFileBytes(dir_ / "big", big + std::string(1, '\0') + "tail");
  ASSERT_TRUE(ReadWholeFile(P("big"), bytes));
  EXPECT_EQ(bytes, big + std::string(1, '\0') + "tail");

  WriteFileBytes(dir_ / "empty", "");
  ASSERT_TRUE(ReadWholeFile(P("empty"), bytes));
  EXPECT_EQ(bytes, "");

  ASSERT_TRUE(MakeDirectory(P("dir")));
  bytes = "kept";
  EXPECT_FALSE(ReadWholeFile(P("nothing"), bytes));
  EXPECT_FALSE(ReadWholeFile(P("dir"), bytes));
  EXPECT_FALSE(ReadWholeFile(u"", bytes));
  EXPECT_EQ(bytes, "kept");
}

TEST_F(SharedFilesTest, SequentialFileReadsInPiecesToTheEnd) {
  std::string content;
  for (int i = 0; i < 100000; ++i) content += static_cast<char>(i * 7);
  WriteFileBytes(dir_ / "data", content);
  SequentialFile file(P("data"));
  ASSERT_TRUE(file.IsOpen());
  std::string read;
  char buffer[65536];
  int64_t n;
  while ((n = file.Read(buffer, sizeof buffer)) > 0) {
    // A full buffer while there is more, then the rest.
    EXPECT_EQ(n, read.empty() ? 65536 : 100000 - 65536);
    read.append(buffer, static_cast<size_t>(n));
  }
  EXPECT_EQ(n, 0);
  EXPECT_EQ(read, content);
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 0);  // stays at the end
}

TEST_F(SharedFilesTest, ReadAtReadsWhereItIsToldWithOrWithoutReadAhead) {
  std::string content;
  for (int i = 0; i < 100000; ++i) content += static_cast<char>(i * 13 + i / 251);
  WriteFileBytes(dir_ / "data", content);
  SequentialFile file(P("data"));
  ASSERT_TRUE(file.IsOpen());
  struct Case {
    uint64_t offset;
    size_t size;
    int64_t expected;  // bytes read
  } cases[] = {
      {0, 100, 100},    {65536, 4096, 4096}, {12345, 1, 1}, {99990, 100, 10},  // cut at the end
      {100000, 10, 0},                                                         // at the end
      {5000000, 10, 0},                                                        // far past it
      {4096, 0, 0},                                                            // asks for nothing
  };
  for (bool read_ahead : {false, true}) {
    file.AllowReadAhead(read_ahead);
    // In an order that no sequential reader would take.
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(c.offset) + (read_ahead ? " with read-ahead" : ""));
      std::string buffer(c.size, '\0');
      const int64_t n = file.ReadAt(c.offset, buffer.data(), c.size);
      ASSERT_EQ(n, c.expected);
      EXPECT_EQ(buffer.substr(0, static_cast<size_t>(n)),
                content.substr(static_cast<size_t>(std::min<uint64_t>(c.offset, content.size())),
                               static_cast<size_t>(n)));
    }
  }
  char byte;
  SequentialFile missing(P("missing"));
  EXPECT_EQ(missing.ReadAt(0, &byte, 1), -1);
}

TEST_F(SharedFilesTest, MissingFileDoesNotOpenReadsMinusOneAndIsNotCreated) {
  char buffer[16];
  SequentialFile missing(P("new.gdb"));
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(missing.Read(buffer, sizeof buffer), -1);
  EXPECT_EQ(QueryPath(P("new.gdb")), PathKind::Missing) << "opening must create nothing";
}

}  // namespace
