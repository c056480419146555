#include "tool/read_through.h"

#include <memory>
#include <new>

#include "base/exceptions.h"
#include "platform/files.h"

void ReadThroughFile(const std::u16string& path) {
  SequentialFile file(path);
  // Left uninitialised: its bytes are never looked at, and touching 64 MiB would cost time.
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kReadThroughBufferSize]);
  if (!buffer) throw EOutOfMemory();
  // A file that did not open fails its first read, which ends the loop as any failure does.
  while (file.Read(buffer.get(), kReadThroughRequestSize) > 0) {
  }
}
