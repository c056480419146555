// How other processes have a file open, as far as this user may look (Linux: /proc/PID/fd and
// /proc/PID/fdinfo, readable by root and by the processes' own user).
#pragma once

#include <optional>
#include <string>
#include <vector>

struct ForeignOpening {
  int pid = 0;
  bool writable = false;  // opened for reading and writing, or for writing
  bool direct = false;    // opened with O_DIRECT: its reads and writes bypass the file cache
};

// Every descriptor of another process that leads to the file at path; empty on Windows.
std::vector<ForeignOpening> FindForeignOpenings(const std::u16string& path);

// How the process pid holds the file at path: its descriptors that lead there, possibly none;
// nothing when its descriptors cannot be read (another user's process without the right to
// trace it, a process that is gone, or Windows).
std::optional<std::vector<ForeignOpening>> OpeningsByProcess(int pid, const std::u16string& path);
