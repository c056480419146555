#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fd_posix.h"
#include "platform/native_path_posix.h"
#include "platform/state_file.h"
#include "platform/text_encoding.h"

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = RetryOnEintr([&] { return write(fd, bytes.data(), bytes.size()); });
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// The directory's entry for the renamed file is on the disk only once the directory is synced.
void SyncDirectoryOf(const std::string& native) {
  const size_t slash = native.rfind('/');
  const std::string directory =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : native.substr(0, slash));
  const UniqueFd fd(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.IsValid()) fsync(fd.Get());
}

}  // namespace

std::optional<FileIdentity> IdentifyFile(const std::u16string& path) {
  std::string native;
  struct stat st;
  if (!NativePath(path, native) || stat(native.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                      static_cast<uint64_t>(st.st_size)};
}

bool ReplaceFileContent(const std::u16string& path, std::string_view bytes,
                        std::u16string* failure) {
  const auto fail = [&](int error) {
    if (failure) *failure = FromNarrow(strerror(error));
    return false;
  };
  std::string native;
  if (!NativePath(path, native)) return fail(EINVAL);
  const std::string fresh = native + ".new";
  UniqueFd fd(RetryOnEintr(
      [&] { return open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644); }));
  if (!fd.IsValid()) return fail(errno);
  if (!WriteAll(fd.Get(), bytes) || fsync(fd.Get()) != 0) {
    const int error = errno ? errno : EIO;
    unlink(fresh.c_str());
    return fail(error);
  }
  fd.Reset();
  if (rename(fresh.c_str(), native.c_str()) != 0) {
    const int error = errno;
    unlink(fresh.c_str());
    return fail(error);
  }
  SyncDirectoryOf(native);
  return true;
}
