#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "platform/files.h"
#include "platform/proc_table_posix.h"
#include "platform/text_encoding.h"

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// False when the file cannot be opened or read: a process may exit between the two, and its
// files then fail to read (ESRCH).
bool ReadSmallFile(const std::string& path, std::string& text) {
  return ReadWholeFile(FromNarrow(path), text);
}

std::vector<std::string> SplitAtNul(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\0', start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return parts;
}

// The root link names the process's root as this process sees it; "/" is ours. Reading it
// needs the right to trace the process, so for another user's process it usually fails.
std::string ForeignRoot(const std::string& entry) {
  char target[PATH_MAX];
  const ssize_t n = readlink((entry + "/root").c_str(), target, sizeof target - 1);
  if (n <= 0 || std::string(target, static_cast<size_t>(n)) == "/") return {};
  return entry + "/root";
}

}  // namespace

std::vector<RunningProcess> ReadProcTable(const std::string& proc_dir) {
  std::vector<RunningProcess> processes;
  std::unique_ptr<DIR, DirCloser> dir(opendir(proc_dir.c_str()));
  if (!dir) return processes;
  const std::string self = proc_dir == "/proc" ? std::to_string(getpid()) : std::string();
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (name == self) continue;
    const std::string base = proc_dir + "/" + name;
    RunningProcess process;
    std::string comm, cmdline;
    if (!ReadSmallFile(base + "/comm", comm) || !ReadSmallFile(base + "/cmdline", cmdline))
      continue;
    process.pid = static_cast<int>(std::strtol(name.c_str(), nullptr, 10));
    process.name = comm.substr(0, comm.find('\n'));
    process.arguments = SplitAtNul(cmdline);
    process.root = ForeignRoot(base);
    processes.push_back(std::move(process));
  }
  return processes;
}

std::vector<RunningProcess> RunningProcesses() { return ReadProcTable("/proc"); }
