#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>

#include "base/exceptions.h"
#include "platform/fd_posix.h"
#include "platform/file_lock.h"
#include "platform/native_path_posix.h"

namespace {

[[noreturn]] void RaiseErrno(int error) { throw EOSError(error, FromNarrow(strerror(error))); }

}  // namespace

ExclusiveFileLock::ExclusiveFileLock(const std::u16string& path,
                                     const std::function<void()>& waiting) {
  std::string native;
  if (!NativePath(path, native)) RaiseErrno(ENOENT);
  UniqueFd fd(
      RetryOnEintr([&] { return open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600); }));
  if (!fd.IsValid()) RaiseErrno(errno);
  // flock, not fcntl locks: held by the open file, released by the kernel when it closes, also
  // when the process is killed.
  if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) RaiseErrno(errno);
    waiting();
    if (RetryOnEintr([&] { return flock(fd.Get(), LOCK_EX); }) != 0) RaiseErrno(errno);
  }
  fd_ = fd.Release();
}

ExclusiveFileLock::~ExclusiveFileLock() { UniqueFd closing(fd_); }
