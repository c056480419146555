#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fd_posix.h"
#include "platform/files.h"
#include "platform/native_path_posix.h"
#include "platform/text_encoding.h"

namespace {

UniqueFd OpenForReading(const std::u16string& path, int extra_flags) {
  std::string native;
  if (!NativePath(path, native)) return UniqueFd();
  return UniqueFd(
      RetryOnEintr([&] { return open(native.c_str(), O_RDONLY | O_CLOEXEC | extra_flags); }));
}

// Opens a file for reading it through. Only what has an end qualifies: a FIFO would hold the
// open (and then the reads) until a writer comes, and a character device such as /dev/zero
// never ends. A block device (a database on a raw device) is read like a file.
UniqueFd OpenForReadThrough(const std::u16string& path) {
  UniqueFd fd = OpenForReading(path, O_NONBLOCK);
  if (!fd.IsValid()) return fd;
  struct stat st;
  if (fstat(fd.Get(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
    fd.Reset();
    errno = 0;  // nothing failed: there is just nothing to read through
    return fd;
  }
  const int flags = fcntl(fd.Get(), F_GETFL);
  if (flags >= 0) fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

ssize_t ReadRetrying(int fd, void* buffer, size_t size) {
  return RetryOnEintr([&] { return read(fd, buffer, size); });
}

}  // namespace

char16_t PathSeparator() { return u'/'; }

std::u16string_view PathComponentEnds() { return u"/"; }

PathKind QueryPath(const std::u16string& path) {
  std::string native;
  if (!NativePath(path, native)) return PathKind::Missing;
  struct stat st;
  if (stat(native.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG) return PathKind::Missing;
    return PathKind::Inaccessible;
  }
  return S_ISDIR(st.st_mode) ? PathKind::Directory : PathKind::File;
}

std::u16string PathAccessFailure(const std::u16string& path) {
  std::string native;
  if (!NativePath(path, native)) return FromNarrow(strerror(ENOENT));
  struct stat st;
  if (stat(native.c_str(), &st) == 0) return u"";
  return FromNarrow(strerror(errno));
}

bool IsLocalFile(const std::u16string& path) { return QueryPath(path) == PathKind::File; }

bool IsAbsolutePath(const std::u16string& path) { return !path.empty() && path.front() == u'/'; }

bool IsSameFile(const std::u16string& a, const std::u16string& b) {
  std::string native_a, native_b;
  struct stat st_a, st_b;
  return NativePath(a, native_a) && NativePath(b, native_b) && stat(native_a.c_str(), &st_a) == 0 &&
         stat(native_b.c_str(), &st_b) == 0 && st_a.st_dev == st_b.st_dev &&
         st_a.st_ino == st_b.st_ino;
}

bool IsReadableByOthers(const std::u16string& path) {
  std::string native;
  struct stat st;
  if (!NativePath(path, native) || stat(native.c_str(), &st) != 0) return false;
  return (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

bool ReadWholeFile(const std::u16string& path, std::string& bytes, std::u16string* failure) {
  const auto fail = [&](int error) {
    if (failure) *failure = error ? FromNarrow(strerror(error)) : u"";
    return false;
  };
  // Non-blocking, so that a FIFO in the file's place cannot hold the open up.
  const UniqueFd fd = OpenForReading(path, O_NONBLOCK);
  if (!fd.IsValid()) return fail(errno ? errno : ENOENT);
  // Only a regular file has a whole: a FIFO or a device such as /dev/zero has none.
  struct stat st;
  if (fstat(fd.Get(), &st) != 0) return fail(errno);
  if (!S_ISREG(st.st_mode)) return fail(S_ISDIR(st.st_mode) ? EISDIR : 0);
  std::string content;
  content.reserve(static_cast<size_t>(st.st_size));
  char chunk[65536];
  while (true) {
    ssize_t n = ReadRetrying(fd.Get(), chunk, sizeof chunk);
    if (n < 0) return fail(errno);
    if (n == 0) break;
    content.append(chunk, static_cast<size_t>(n));
  }
  bytes.swap(content);
  return true;
}

bool MakeDirectory(const std::u16string& path) {
  std::string native;
  return NativePath(path, native) && mkdir(native.c_str(), 0777) == 0;
}

FileOwnership DescribeOwnership(const std::u16string& path) {
  FileOwnership result;
  std::string native;
  struct stat st;
  if (!NativePath(path, native) || stat(native.c_str(), &st) != 0) return result;
  result.mode = static_cast<int>(st.st_mode & 07777);
  const passwd* user = getpwuid(st.st_uid);
  result.owner = FromNarrow(user ? std::string(user->pw_name) : std::to_string(st.st_uid));
  return result;
}

std::u16string FirstUnsearchableDirectory(const std::u16string& path) {
  std::string native;
  if (!NativePath(path, native)) return u"";
  for (size_t end = native.find('/', 1); end != std::string::npos;
       end = native.find('/', end + 1)) {
    const std::string dir = native.substr(0, end);
    if (faccessat(AT_FDCWD, dir.c_str(), X_OK, AT_EACCESS) != 0 && errno == EACCES)
      return FromNarrow(dir);
  }
  return u"";
}

// The header keeps the descriptor as an opaque number; UniqueFd owns it in between.
SequentialFile::SequentialFile(const std::u16string& path)
    : handle_(OpenForReadThrough(path).Release()), path_(path) {
  if (handle_ < 0 && errno != 0) failure_ = FromNarrow(strerror(errno));
}

SequentialFile::~SequentialFile() { UniqueFd closing(static_cast<int>(handle_)); }

bool SequentialFile::IsOpen() const { return handle_ >= 0; }

int64_t SequentialFile::Read(void* buffer, size_t size) {
  if (handle_ < 0) return -1;
  const ssize_t n = ReadRetrying(static_cast<int>(handle_), buffer, size);
  if (n < 0) failure_ = FromNarrow(strerror(errno));
  return n;
}

uint64_t SequentialFile::Size() const {
  struct stat st;
  if (handle_ < 0 || fstat(static_cast<int>(handle_), &st) != 0) return 0;
  if (S_ISBLK(st.st_mode)) {  // a device's size is where its end lies
    const int fd = static_cast<int>(handle_);
    const off_t here = lseek(fd, 0, SEEK_CUR);
    const off_t end = lseek(fd, 0, SEEK_END);
    lseek(fd, here, SEEK_SET);
    return end < 0 ? 0 : static_cast<uint64_t>(end);
  }
  return static_cast<uint64_t>(st.st_size);
}

bool SequentialFile::Skip(uint64_t size) {
  if (handle_ < 0) return false;
  if (lseek(static_cast<int>(handle_), static_cast<off_t>(size), SEEK_CUR) >= 0) return true;
  failure_ = FromNarrow(strerror(errno));
  return false;
}
