// The read-through's buffer and its adapter onto the platform's sequential file.
#pragma once

#include <memory>

#include "platform/files.h"
#include "tool/read_through.h"

// kReadThroughBufferSize bytes, left uninitialised: they are never looked at, and touching
// 64 MiB would cost time. Raises EOutOfMemory when they cannot be obtained.
std::unique_ptr<char[]> AllocateReadThroughBuffer();

class SequentialFileSource : public ReadThroughSource {
 public:
  explicit SequentialFileSource(SequentialFile& file) : file_(file) {}
  int64_t Read(void* buffer, size_t size) override { return file_.Read(buffer, size); }
  bool Skip(uint64_t size) override { return file_.Skip(size); }

 private:
  SequentialFile& file_;
};
