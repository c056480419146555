#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include "platform/fd_posix.h"
#include "platform/handed_stream.h"
#include "platform/text_encoding.h"

HandedStream::HandedStream(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0) {
    failure_ = FromNarrow(strerror(errno));
    return;
  }
  if ((flags & O_ACCMODE) == O_RDONLY) {
    failure_ = FromNarrow(strerror(EBADF));
    return;
  }
  // The client library or anything it starts must not keep the parent waiting for the end.
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  handle_ = fd;
}

HandedStream::~HandedStream() { UniqueFd closing(handle_); }

bool HandedStream::Write(std::string_view bytes) {
  if (handle_ < 0) return false;
  while (!bytes.empty()) {
    const ssize_t n = RetryOnEintr([&] { return write(handle_, bytes.data(), bytes.size()); });
    if (n < 0) {
      failure_ = FromNarrow(strerror(errno));
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}
