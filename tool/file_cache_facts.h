// What the read-through of the database file finds and does, as plain values for the reporter
// and the result records, and the two decisions taken on them before the first read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/cache_memory.h"
#include "platform/files.h"
#include "platform/residency.h"

// Why /SKIPCACHED does not skip anything.
enum class SkipRefusal { None, ResidencyHidden, ResidencyUnavailable };

// Whether /SKIPCACHED may skip: only on a trusted answer, and then exactly the requests it
// says are resident, at any size (a file larger than the room gets the memory warning).
SkipRefusal DecideSkip(ResidencyState residency);

// The room of the file cache when a file of size bytes does not fit it; nothing when it fits
// or the system does not tell.
std::optional<CacheRoom> RoomTooSmall(uint64_t size, const std::optional<CacheRoom>& room);

// What the read-through found before its first read, and what it decided.
struct ReadThroughPlan {
  struct OpenFailure {
    std::u16string reason;  // the system's words
    FileOwnership ownership;
  };

  std::u16string path;
  bool opened = false;
  // Why the file did not open; nothing for what has no end (a FIFO), passed by on purpose.
  std::optional<OpenFailure> open_failure;
  uint64_t size = 0;                    // when the read-through begins
  std::optional<CacheRoom> room_short;  // the room of the file cache, when the file exceeds it
  bool skip_asked = false;              // /SKIPCACHED
  SkipRefusal skip_refusal = SkipRefusal::None;  // when asked: why nothing will be skipped
};

// How far the read-through is: done of total bytes passed (read or skipped), seconds after it
// began.
struct ReadProgress {
  uint64_t done = 0;
  uint64_t total = 0;
  double seconds = 0;
};

// What the read-through of an opened file found and did.
struct ReadThroughSummary {
  // A read or a skip failed part-way: the system's reason and the bytes passed before it.
  struct Break {
    std::u16string reason;
    uint64_t done = 0;
  };

  std::u16string path;
  uint64_t size = 0;        // at the end: the file may have grown or shrunk meanwhile
  uint64_t start_size = 0;  // when the read-through began
  ResidencyState residency = ResidencyState::Unavailable;
  ResidentPages before, after;
  uint64_t page_size = 4096;
  uint64_t bytes_read = 0;
  uint64_t bytes_skipped = 0;
  double seconds = 0;
  std::optional<Break> broken;
};
