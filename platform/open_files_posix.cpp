#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "platform/native_path_posix.h"
#include "platform/open_files.h"

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using ScopedDir = std::unique_ptr<DIR, DirCloser>;

// The "flags:" line of a descriptor's fdinfo, in octal; -1 when it cannot be read.
long OpenFlags(const std::string& fdinfo) {
  std::ifstream in(fdinfo);
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("flags:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 8);
  return -1;
}

// False when the process's descriptors cannot be listed: another user's process, or gone.
bool ScanProcess(const std::string& pid, const struct stat& target,
                 std::vector<ForeignOpening>& found) {
  const std::string base = "/proc/" + pid;
  ScopedDir fds(opendir((base + "/fd").c_str()));
  if (!fds) return false;
  while (const dirent* entry = readdir(fds.get())) {
    if (entry->d_name[0] == '.') continue;
    struct stat st;
    if (stat((base + "/fd/" + entry->d_name).c_str(), &st) != 0) continue;
    if (st.st_dev != target.st_dev || st.st_ino != target.st_ino) continue;
    const long flags = OpenFlags(base + "/fdinfo/" + entry->d_name);
    if (flags < 0) continue;
    found.push_back(
        {std::atoi(pid.c_str()), (flags & O_ACCMODE) != O_RDONLY, (flags & O_DIRECT) != 0});
  }
  return true;
}

bool StatPath(const std::u16string& path, struct stat& target) {
  std::string native;
  return NativePath(path, native) && stat(native.c_str(), &target) == 0;
}

}  // namespace

std::vector<ForeignOpening> FindForeignOpenings(const std::u16string& path) {
  std::vector<ForeignOpening> found;
  struct stat target;
  if (!StatPath(path, target)) return found;
  ScopedDir proc(opendir("/proc"));
  if (!proc) return found;
  const std::string self = std::to_string(getpid());
  while (const dirent* entry = readdir(proc.get())) {
    const std::string name = entry->d_name;
    if (name.find_first_not_of("0123456789") != std::string::npos || name == self) continue;
    ScanProcess(name, target, found);
  }
  return found;
}

std::optional<std::vector<ForeignOpening>> OpeningsByProcess(int pid, const std::u16string& path) {
  std::vector<ForeignOpening> found;
  struct stat target;
  if (!StatPath(path, target)) return found;
  // Listing the directory is not enough: CAP_DAC_READ_SEARCH without the right to trace lets
  // one list it but not follow its links, which would look like a process that holds nothing.
  // The cwd link needs the same right as those links.
  char link[16];
  if (readlink(("/proc/" + std::to_string(pid) + "/cwd").c_str(), link, sizeof link) < 0)
    return std::nullopt;
  if (!ScanProcess(std::to_string(pid), target, found)) return std::nullopt;
  return found;
}
