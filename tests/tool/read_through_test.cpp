#include "tool/read_through.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/page_cache.h"
#include "tests/support/temp_dir.h"

TEST(ReadThrough, ReadsEveryByteOfFilesAroundTheRequestSize) {
  ScopedTempDir dir;
  const std::string path = dir / "db.fdb";
  for (size_t size : {size_t{0}, size_t{1}, kReadThroughRequestSize, kReadThroughBufferSize,
                      kReadThroughBufferSize + 1, 2 * kReadThroughRequestSize + 5}) {
    SCOPED_TRACE(size);
    WriteFileBytes(path, "");
    std::filesystem::resize_file(path, size);  // sparse: no disk needed
    const long long before = ProcessBytesRead();
    ReadThroughFile(std::u16string(path.begin(), path.end()));
    // Allow for the few bytes of /proc/self/io itself.
    EXPECT_GE(ProcessBytesRead() - before, static_cast<long long>(size));
    EXPECT_LT(ProcessBytesRead() - before, static_cast<long long>(size) + 4096);
  }
}

TEST(ReadThrough, AFileThatCannotBeOpenedIsSilentlySkipped) {
  ScopedTempDir dir;
  for (const std::string& path : {dir / "missing.fdb", dir.path(), std::string()}) {
    SCOPED_TRACE(path);
    EXPECT_NO_THROW(ReadThroughFile(std::u16string(path.begin(), path.end())));
  }
}
