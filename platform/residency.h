// How much of a file the operating system's file cache holds, asked without bringing any of it
// in: cachestat(2) where the kernel has it, else mincore(2) on a read-only mapping that is never
// touched. Windows cannot be asked; there every answer is Unavailable.
#pragma once

#include <cstdint>
#include <string>

enum class ResidencyState {
  Trusted,         // the kernel tells this user the truth
  HiddenFromUser,  // the kernel would answer, but with every page resident (see below)
  Unavailable,     // the file did not open, or the system cannot be asked
};

// Pages of a range of the file, and how many of them the cache holds.
struct ResidentPages {
  uint64_t resident = 0;
  uint64_t total = 0;
  bool Whole() const { return resident == total; }
};

// A file opened read-only to ask about its residency. Since Linux 5.2 mincore reports every page
// as resident (and cachestat refuses) for a file the caller neither owns nor may write, so the
// answer is trusted only when this process owns the file, has CAP_FOWNER, or may open it for
// writing on a writable mount. Test hook: FBWARM_TEST_RESIDENCY=mincore in the environment makes
// the mincore path answer even where the kernel has cachestat.
class FileResidency {
 public:
  explicit FileResidency(const std::u16string& path);
  ~FileResidency();
  FileResidency(const FileResidency&) = delete;
  FileResidency& operator=(const FileResidency&) = delete;

  ResidencyState State() const { return state_; }
  uint64_t Size() const { return size_; }
  uint64_t PageSize() const { return page_size_; }
  // "cachestat" or "mincore": the mechanism that answers.
  const char* Mechanism() const;
  // The pages that overlap [offset, offset + length), clipped to the file. Only meaningful in
  // the Trusted state; a failure of the call turns the state into Unavailable.
  ResidentPages Query(uint64_t offset, uint64_t length);
  ResidentPages QueryAll() { return Query(0, size_); }

 private:
  ResidentPages QueryCachestat(uint64_t first_page, uint64_t pages);
  ResidentPages QueryMincore(uint64_t first_page, uint64_t pages);

  intptr_t handle_ = -1;
  ResidencyState state_ = ResidencyState::Unavailable;
  uint64_t size_ = 0;
  uint64_t page_size_ = 4096;
  bool cachestat_ = false;
};
