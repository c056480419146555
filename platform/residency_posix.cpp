#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/fd_posix.h"
#include "platform/native_path_posix.h"
#include "platform/residency.h"

namespace {

// The kernel's cachestat interface (Linux 6.5); Debian 12's headers do not declare it yet.
constexpr long kCachestatSyscall = 451;
struct CachestatRange {
  uint64_t off;
  uint64_t len;
};
struct Cachestat {
  uint64_t nr_cache;
  uint64_t nr_dirty;
  uint64_t nr_writeback;
  uint64_t nr_evicted;
  uint64_t nr_recently_evicted;
};

// The mincore path maps at most this much at a time: 256 KiB of answers for 1 GiB of file.
constexpr uint64_t kMincoreSlice = uint64_t{1} << 30;

bool HasCapFowner() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("CapEff:", 0) != 0) continue;
    const unsigned long long caps = std::strtoull(line.c_str() + 7, nullptr, 16);
    return (caps >> 3) & 1;  // CAP_FOWNER
  }
  return false;
}

// The kernel's own condition for a truthful answer (can_do_mincore): owner, CAP_FOWNER, or
// write permission, which faccessat also refuses on a read-only mount (EROFS).
bool KernelAnswersTruthfully(const std::string& native, const struct stat& st) {
  if (st.st_uid == geteuid()) return true;
  if (faccessat(AT_FDCWD, native.c_str(), W_OK, AT_EACCESS) == 0) return true;
  return HasCapFowner();
}

bool FallbackForced() {
  const char* forced = std::getenv("FBWARM_TEST_RESIDENCY");
  return forced && std::strcmp(forced, "mincore") == 0;
}

}  // namespace

FileResidency::FileResidency(const std::u16string& path) {
  page_size_ = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  std::string native;
  if (!NativePath(path, native)) return;
  const int fd =
      RetryOnEintr([&] { return open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
  if (fd < 0) return;
  handle_ = fd;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
  size_ = static_cast<uint64_t>(st.st_size);
  if (!KernelAnswersTruthfully(native, st)) {
    state_ = ResidencyState::HiddenFromUser;
    return;
  }
  state_ = ResidencyState::Trusted;
  if (!FallbackForced()) {
    CachestatRange range{0, 1};
    Cachestat cs{};
    cachestat_ = syscall(kCachestatSyscall, fd, &range, &cs, 0) == 0;
  }
}

// The header keeps the descriptor as an opaque number; UniqueFd closes it.
FileResidency::~FileResidency() { UniqueFd closing(static_cast<int>(handle_)); }

const char* FileResidency::Mechanism() const { return cachestat_ ? "cachestat" : "mincore"; }

ResidentPages FileResidency::Query(uint64_t offset, uint64_t length) {
  if (state_ != ResidencyState::Trusted || offset >= size_ || length == 0) return {};
  const uint64_t end = std::min(size_, offset + std::min(length, size_ - offset));
  const uint64_t first_page = offset / page_size_;
  const uint64_t pages = (end + page_size_ - 1) / page_size_ - first_page;
  return cachestat_ ? QueryCachestat(first_page, pages) : QueryMincore(first_page, pages);
}

ResidentPages FileResidency::QueryCachestat(uint64_t first_page, uint64_t pages) {
  CachestatRange range{first_page * page_size_, pages * page_size_};
  Cachestat cs{};
  if (syscall(kCachestatSyscall, static_cast<int>(handle_), &range, &cs, 0) != 0) {
    state_ = ResidencyState::Unavailable;
    return {};
  }
  return {std::min(cs.nr_cache, pages), pages};
}

ResidentPages FileResidency::QueryMincore(uint64_t first_page, uint64_t pages) {
  ResidentPages result{0, pages};
  const uint64_t slice_pages = kMincoreSlice / page_size_;
  std::vector<unsigned char> answers(std::min(pages, slice_pages));
  for (uint64_t done = 0; done < pages; done += slice_pages) {
    const uint64_t count = std::min(slice_pages, pages - done);
    const size_t bytes = static_cast<size_t>(count * page_size_);
    const off_t at = static_cast<off_t>((first_page + done) * page_size_);
    // Read-only and never touched: asking mincore brings nothing into the cache.
    void* map = mmap(nullptr, bytes, PROT_READ, MAP_SHARED, static_cast<int>(handle_), at);
    if (map == MAP_FAILED) {
      state_ = ResidencyState::Unavailable;
      return {};
    }
    const int rc = mincore(map, bytes, answers.data());
    munmap(map, bytes);
    if (rc != 0) {
      state_ = ResidencyState::Unavailable;
      return {};
    }
    result.resident += static_cast<uint64_t>(std::count_if(answers.begin(), answers.begin() + count,
                                                           [](unsigned char a) { return a & 1; }));
  }
  return result;
}
