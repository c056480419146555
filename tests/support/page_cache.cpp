#include "tests/support/page_cache.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
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

long long ProcessBytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return -1;
}
