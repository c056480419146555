// Reads a file once from start to end and throws the data away, so that the operating
// system's file cache holds its pages before the database server asks for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Size of the one buffer the read-through uses, and of each read (one byte less).
inline constexpr size_t kReadThroughBufferSize = 64u * 1024 * 1024;
inline constexpr size_t kReadThroughRequestSize = kReadThroughBufferSize - 1;

// What the read loop reads from: the platform's sequential file, or a recorder in tests.
class ReadThroughSource {
 public:
  virtual ~ReadThroughSource() = default;
  // The count read, 0 at the end, -1 on failure.
  virtual int64_t Read(void* buffer, size_t size) = 0;
  // Moves on by size bytes without reading; false on failure.
  virtual bool Skip(uint64_t size) = 0;
};

struct ReadThroughHooks {
  // When set: true when the request [offset, offset + length) need not be read because the
  // cache already holds all of it. Unset: every request is read.
  std::function<bool(uint64_t offset, uint64_t length)> already_cached;
  // Called after each request with the bytes passed so far (read or skipped).
  std::function<void(uint64_t done)> progress;
};

struct ReadThroughTally {
  uint64_t bytes_read = 0;
  uint64_t bytes_skipped = 0;
  bool failed = false;  // a read or a skip failed; the loop ended there
};

// The read loop: requests of kReadThroughRequestSize bytes one after the other from the start,
// each either read into buffer (kReadThroughBufferSize bytes) or skipped, until a read returns
// 0 or fails.
ReadThroughTally ReadThrough(ReadThroughSource& source, char* buffer,
                             const ReadThroughHooks& hooks);

// Reads path through. A file that cannot be opened, or a read that fails part-way, ends the
// read-through silently. Raises EOutOfMemory when the buffer cannot be obtained.
// Defined beside the buffer and the platform file's adapter (tool/read_through_buffer.cpp).
void ReadThroughFile(const std::u16string& path);
