#include "tool/read_through.h"

#include <memory>
#include <new>

#include "base/exceptions.h"
#include "platform/files.h"
#include "tool/read_through_buffer.h"

std::unique_ptr<char[]> AllocateReadThroughBuffer() {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kReadThroughBufferSize]);
  if (!buffer) throw EOutOfMemory();
  return buffer;
}

ReadThroughTally ReadThrough(ReadThroughSource& source, char* buffer,
                             const ReadThroughHooks& hooks) {
  ReadThroughTally tally;
  uint64_t offset = 0;
  while (true) {
    if (hooks.already_cached && hooks.already_cached(offset, kReadThroughRequestSize)) {
      if (!source.Skip(kReadThroughRequestSize)) {
        tally.failed = true;
        break;
      }
      offset += kReadThroughRequestSize;
      tally.bytes_skipped += kReadThroughRequestSize;
    } else {
      const int64_t n = source.Read(buffer, kReadThroughRequestSize);
      if (n <= 0) {
        tally.failed = n < 0;
        break;
      }
      offset += static_cast<uint64_t>(n);
      tally.bytes_read += static_cast<uint64_t>(n);
    }
    if (hooks.progress) hooks.progress(offset);
  }
  return tally;
}

void ReadThroughFile(const std::u16string& path) {
  SequentialFile file(path);
  SequentialFileSource source(file);
  std::unique_ptr<char[]> buffer = AllocateReadThroughBuffer();
  // A file that did not open fails its first read, which ends the loop as any failure does.
  ReadThrough(source, buffer.get(), {});
}
