// Reading the process table from a directory laid out like /proc, for the POSIX implementation
// and for tests that lay out such a directory themselves.
#pragma once

#include <string>
#include <vector>

#include "platform/running_processes.h"

// The processes under proc_dir (its numeric entries), this process left out when proc_dir is
// /proc. Reads only what every user may read there (comm, cmdline) and, where allowed, the
// root link. A process that ends while it is read is left out.
std::vector<RunningProcess> ReadProcTable(const std::string& proc_dir);
