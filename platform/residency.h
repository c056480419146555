// How much of a file the operating system's file cache holds, asked without bringing any of it
// in, and whether the answer can be trusted. Where the system cannot be asked, every answer is
// Unavailable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/files.h"

enum class ResidencyState {
  Trusted,         // the system tells this user the truth
  HiddenFromUser,  // the system would answer, but with every page resident (see below)
  Unavailable,     // the file did not open, or the system cannot be asked
};

// Pages of a range of the file, and how many of them the cache holds.
struct ResidentPages {
  uint64_t resident = 0;
  uint64_t total = 0;
  bool Whole() const { return resident == total; }
};

// A file opened read-only to ask about its residency. Linux tells the truth only to a caller
// that owns the file, is capable over its owner in its own user namespace, or may write it;
// anyone else hears that every page is resident, so such an answer is HiddenFromUser.
class FileResidency {
 public:
  // Opens path read-only to ask about it.
  explicit FileResidency(const std::u16string& path);
  // Asks about the file that file has open, without opening it again; file must outlive this.
  explicit FileResidency(const SequentialFile& file);
  ~FileResidency();
  FileResidency(const FileResidency&) = delete;
  FileResidency& operator=(const FileResidency&) = delete;

  ResidencyState State() const;
  // The file's size now: it may grow or shrink while it is read. 0 when it did not open.
  uint64_t Size() const;
  uint64_t PageSize() const;
  // The name of the system's mechanism that answers, for tests and benchmarks ("none" when
  // there is no answer).
  const char* Mechanism() const;
  // The pages that overlap [offset, offset + length), clipped to the file's size now. Only
  // meaningful in the Trusted state; a failure of the system's call turns the state into
  // Unavailable.
  ResidentPages Query(uint64_t offset, uint64_t length);
  ResidentPages QueryAll() { return Query(0, Size()); }

 private:
  class Answerer;  // each platform's own
  std::unique_ptr<Answerer> answerer_;
};
