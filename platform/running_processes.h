// The processes running on this machine, as far as any user may see them: their short name,
// their arguments, and a way into the file system they see when it is not ours.
#pragma once

#include <string>
#include <vector>

struct RunningProcess {
  int pid = 0;
  std::string name;                    // the system's short name of the process
  std::vector<std::string> arguments;  // as the process was started, argument 0 included
  // A path through which this process's root directory can be read, when it differs from
  // ours (a chroot or a container) and this user may look; empty otherwise.
  std::string root;
};

// Every process of the machine but this one; empty where the system does not list them.
std::vector<RunningProcess> RunningProcesses();
