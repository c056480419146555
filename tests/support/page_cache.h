// The page cache as tests look at it, independently of the code under test: a file's resident
// share by mincore, eviction, and the bytes this process has read.
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

// Bytes this process has got from read() calls, from the kernel's own accounting
// (/proc/self/io); -1 when that cannot be read.
long long ProcessBytesRead();
