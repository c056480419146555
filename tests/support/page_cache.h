// The page cache as tests look at it, independently of the code under test: a file's resident
// share by mincore, eviction, pages held in the cache for a test's duration, and the bytes this
// process has read.
#pragma once

#include <cstdint>
#include <string>

// Share of the file's pages that the page cache holds (0.0 to 1.0), by mincore; -1 when the
// file cannot be mapped. Truthful for root and for the file's owner or writers.
double ResidentShare(const std::string& path);

// Writes the file's dirty pages out and drops the pages of [offset, offset + length) from the
// cache; a length of 0 reaches to the end, so by default the whole file goes.
void EvictFromCache(const std::string& path, uint64_t offset = 0, uint64_t length = 0);

// Reads [offset, offset + length) in 1 MiB pieces, so that the cache holds it; false when the
// file cannot be opened or a read fails.
bool ReadIntoCache(const std::string& path, uint64_t offset, uint64_t length);

// Holds [offset, offset + length) of a file in the page cache while it lives (a length of 0
// reaches to the end; the range is widened to whole pages): a read-only shared mapping, locked.
// Locked pages are not reclaimed under memory pressure, the host's idle-memory reclaim here
// takes unmapped pages only, and fadvise does not drop them. Pages outside the range are not
// brought in (no read-around). Needs CAP_IPC_LOCK or a large enough RLIMIT_MEMLOCK.
class PinnedInCache {
 public:
  explicit PinnedInCache(const std::string& path, uint64_t offset = 0, uint64_t length = 0);
  ~PinnedInCache();
  PinnedInCache(const PinnedInCache&) = delete;
  PinnedInCache& operator=(const PinnedInCache&) = delete;
  // Empty when the range is held; else why not.
  const std::string& Failure() const { return failure_; }

 private:
  void* map_ = nullptr;
  size_t bytes_ = 0;
  std::string failure_;
};

// Bytes this process has got from read() calls, from the kernel's own accounting
// (/proc/self/io); -1 when that cannot be read.
long long ProcessBytesRead();
