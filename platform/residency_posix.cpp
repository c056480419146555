#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/fd_posix.h"
#include "platform/native_path_posix.h"
#include "platform/residency.h"
#include "platform/testing.h"

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

bool g_force_mincore = false;

// mincore (can_do_mincore) and cachestat answer truthfully to the file's owner, to a caller
// capable over the owner (CAP_FOWNER in a user namespace into which the owner is mapped), or to
// one who may write the file. The kernel is asked with its own checks instead of rebuilding
// them: it lets a descriptor take O_NOATIME under exactly that owner-or-capable rule, and
// faccessat(W_OK) applies the write rule, capabilities over the owner and group, and read-only
// mounts. Root in a user namespace thus gets no trusted answer for an unmapped owner's file.
// The descriptor's flags are put back: it may be the one the file is read through.
bool KernelAnswersTruthfully(int fd, const std::string& native) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0 && fcntl(fd, F_SETFL, flags | O_NOATIME) == 0) {
    fcntl(fd, F_SETFL, flags);
    return true;
  }
  return faccessat(AT_FDCWD, native.c_str(), W_OK, AT_EACCESS) == 0;
}

long CallCachestat(int fd, uint64_t offset, uint64_t length, Cachestat& answer) {
  CachestatRange range{offset, length};
  return syscall(kCachestatSyscall, fd, &range, &answer, 0);
}

}  // namespace

void ForceMincoreResidency(bool force) { g_force_mincore = force; }

class FileResidency::Answerer {
 public:
  explicit Answerer(const std::u16string& path) {
    std::string native;
    if (!NativePath(path, native)) return;
    own_fd_.Reset(
        RetryOnEintr([&] { return open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); }));
    Start(own_fd_.Get(), native);
  }

  Answerer(int fd, const std::u16string& path) {
    std::string native;
    if (NativePath(path, native)) Start(fd, native);
  }

  ResidencyState State() const { return state_; }
  uint64_t PageSize() const { return page_size_; }
  const char* Mechanism() const {
    if (state_ != ResidencyState::Trusted) return "none";
    return cachestat_ ? "cachestat" : "mincore";
  }

  uint64_t Size() const {
    struct stat st;
    if (fd_ < 0 || fstat(fd_, &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
  }

  ResidentPages Query(uint64_t offset, uint64_t length) {
    const uint64_t size = Size();
    if (state_ != ResidencyState::Trusted || offset >= size || length == 0) return {};
    const uint64_t end = offset + std::min(length, size - offset);
    const uint64_t first_page = offset / page_size_;
    const uint64_t pages = (end + page_size_ - 1) / page_size_ - first_page;
    if (cachestat_) {
      Cachestat answer{};
      if (CallCachestat(fd_, first_page * page_size_, pages * page_size_, answer) == 0)
        return {std::min(answer.nr_cache, pages), pages};
      // A system-call filter that does not know cachestat answers EPERM or ENOSYS (systemd's
      // SystemCallFilter with SystemCallErrorNumber=EPERM): mincore still answers.
      if (errno != EPERM && errno != ENOSYS) return Fail();
      cachestat_ = false;
    }
    return QueryMincore(first_page, pages);
  }

 private:
  void Start(int fd, const std::string& native) {
    fd_ = fd;
    struct stat st;
    if (fd_ < 0 || fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return;
    if (!KernelAnswersTruthfully(fd_, native)) {
      state_ = ResidencyState::HiddenFromUser;
      return;
    }
    state_ = ResidencyState::Trusted;
    Cachestat answer{};
    cachestat_ = !g_force_mincore && CallCachestat(fd_, 0, 1, answer) == 0;
  }

  ResidentPages Fail() {
    state_ = ResidencyState::Unavailable;
    return {};
  }

  ResidentPages QueryMincore(uint64_t first_page, uint64_t pages) {
    ResidentPages result{0, pages};
    const uint64_t slice_pages = kMincoreSlice / page_size_;
    std::vector<unsigned char> answers(std::min(pages, slice_pages));
    for (uint64_t done = 0; done < pages; done += slice_pages) {
      const uint64_t count = std::min(slice_pages, pages - done);
      const size_t bytes = static_cast<size_t>(count * page_size_);
      const off_t at = static_cast<off_t>((first_page + done) * page_size_);
      // Read-only and never touched: asking mincore brings nothing into the cache.
      void* map = mmap(nullptr, bytes, PROT_READ, MAP_SHARED, fd_, at);
      if (map == MAP_FAILED) return Fail();
      const int rc = mincore(map, bytes, answers.data());
      munmap(map, bytes);
      if (rc != 0) return Fail();
      result.resident += static_cast<uint64_t>(std::count_if(
          answers.begin(), answers.begin() + count, [](unsigned char a) { return a & 1; }));
    }
    return result;
  }

  UniqueFd own_fd_;  // when opened here; else the descriptor belongs to a SequentialFile
  int fd_ = -1;
  ResidencyState state_ = ResidencyState::Unavailable;
  uint64_t page_size_ = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  bool cachestat_ = false;
};

FileResidency::FileResidency(const std::u16string& path)
    : answerer_(std::make_unique<Answerer>(path)) {}
FileResidency::FileResidency(const SequentialFile& file)
    : answerer_(std::make_unique<Answerer>(static_cast<int>(file.handle_), file.path_)) {}
FileResidency::~FileResidency() = default;
ResidencyState FileResidency::State() const { return answerer_->State(); }
uint64_t FileResidency::Size() const { return answerer_->Size(); }
uint64_t FileResidency::PageSize() const { return answerer_->PageSize(); }
const char* FileResidency::Mechanism() const { return answerer_->Mechanism(); }
ResidentPages FileResidency::Query(uint64_t offset, uint64_t length) {
  return answerer_->Query(offset, length);
}
