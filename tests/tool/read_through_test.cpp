#include "tool/read_through.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/temp_dir.h"

namespace {

// Bytes this process has got from read() calls, from the kernel's own accounting.
long long BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return -1;
}

}  // namespace

TEST(ReadThrough, ReadsEveryByteOfFilesAroundTheRequestSize) {
  ScopedTempDir dir;
  const std::string path = dir / "db.fdb";
  for (size_t size : {size_t{0}, size_t{1}, kReadThroughRequestSize, kReadThroughBufferSize,
                      kReadThroughBufferSize + 1, 2 * kReadThroughRequestSize + 5}) {
    SCOPED_TRACE(size);
    WriteFileBytes(path, "");
    std::filesystem::resize_file(path, size);  // sparse: no disk needed
    const long long before = BytesRead();
    ReadThroughFile(std::u16string(path.begin(), path.end()));
    // Allow for the few bytes of /proc/self/io itself.
    EXPECT_GE(BytesRead() - before, static_cast<long long>(size));
    EXPECT_LT(BytesRead() - before, static_cast<long long>(size) + 4096);
  }
}

TEST(ReadThrough, AFileThatCannotBeOpenedIsSilentlySkipped) {
  ScopedTempDir dir;
  for (const std::string& path : {dir / "missing.fdb", dir.path(), std::string()}) {
    SCOPED_TRACE(path);
    EXPECT_NO_THROW(ReadThroughFile(std::u16string(path.begin(), path.end())));
  }
}
