#include "tool/read_through.h"

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
