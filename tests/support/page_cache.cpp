#include "tests/support/page_cache.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <vector>

double ResidentShare(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return -1;
  struct stat st {};
  fstat(fd, &st);
  void* map = st.st_size > 0 ? mmap(nullptr, st.st_size, PROT_READ, MAP_SHARED, fd, 0) : MAP_FAILED;
  close(fd);
  if (map == MAP_FAILED) return -1;
  const long page = sysconf(_SC_PAGESIZE);
  std::vector<unsigned char> pages((st.st_size + page - 1) / page);
  mincore(map, st.st_size, pages.data());
  munmap(map, st.st_size);
  const auto resident =
      std::count_if(pages.begin(), pages.end(), [](unsigned char p) { return p & 1; });
  return double(resident) / pages.size();
}

void EvictFromCache(const std::string& path, uint64_t offset, uint64_t length) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  fdatasync(fd);
  posix_fadvise(fd, static_cast<off_t>(offset), static_cast<off_t>(length), POSIX_FADV_DONTNEED);
  close(fd);
}

bool ReadIntoCache(const std::string& path, uint64_t offset, uint64_t length) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  std::string data(1 << 20, '\0');
  bool ok = true;
  for (uint64_t at = offset; ok && at < offset + length; at += data.size())
    ok = pread(fd, data.data(), data.size(), static_cast<off_t>(at)) >= 0;
  close(fd);
  return ok;
}

namespace {

// The value after key in a file of "key value" pairs such as /proc/vmstat; -1 when absent.
long long ValueOf(const char* file, const std::string& wanted) {
  std::ifstream in(file);
  std::string key;
  long long value = 0;
  while (in >> key >> value)
    if (key == wanted) return value;
  return -1;
}

}  // namespace

long long FilePagesReclaimed() { return ValueOf("/proc/vmstat", "pgsteal_file"); }

long long ProcessBytesRead() { return ValueOf("/proc/self/io", "rchar:"); }

PinnedInCache::PinnedInCache(const std::string& path, uint64_t offset, uint64_t length) {
  const int fd = open(path.c_str(), O_RDONLY);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0) {
    failure_ = "open " + path + ": " + strerror(errno);
    if (fd >= 0) close(fd);
    return;
  }
  const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  const uint64_t end = length == 0 ? size : std::min(size, offset + length);
  const uint64_t start = offset / page * page;
  if (end <= start) {
    close(fd);
    return;  // nothing to hold
  }
  bytes_ = static_cast<size_t>(end - start);
  void* map = mmap(nullptr, bytes_, PROT_READ, MAP_SHARED, fd, static_cast<off_t>(start));
  close(fd);
  if (map == MAP_FAILED) {
    failure_ = "mmap " + path + ": " + strerror(errno);
    return;
  }
  map_ = map;
  // Without read-around the faults bring in exactly the range.
  madvise(map_, bytes_, MADV_RANDOM);
  // The system call itself: AddressSanitizer's mlock does nothing.
  if (syscall(SYS_mlock, map_, bytes_) != 0) failure_ = "mlock " + path + ": " + strerror(errno);
}

PinnedInCache::~PinnedInCache() {
  if (map_) munmap(map_, bytes_);  // unlocks too
}
