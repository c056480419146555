#include "platform/running_processes.h"

// The server's configuration is found through its process on Linux only; Windows keeps it
// beside the service's executable and in the registry, which nothing here reads.
std::vector<RunningProcess> RunningProcesses() { return {}; }
