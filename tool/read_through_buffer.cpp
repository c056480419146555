#include "tool/read_through_buffer.h"

#include <new>

#include "base/exceptions.h"
#include "platform/files.h"

std::unique_ptr<char[]> AllocateReadThroughBuffer() {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kReadThroughBufferSize]);
  if (!buffer) throw EOutOfMemory();
  return buffer;
}

void ReadThroughFile(const std::u16string& path) {
  SequentialFile file(path);
  SequentialFileSource source(file);
  std::unique_ptr<char[]> buffer = AllocateReadThroughBuffer();
  // A file that did not open fails its first read, which ends the loop as any failure does.
  ReadThrough(source, buffer.get(), {});
}
