// The step that finds out whether the local server bypasses the file cache for the database:
// it attaches to the database to ask the server, reads the configuration of the server process
// that serves the port for what the server cannot tell, and looks at that process's descriptor
// of the file while the attachment keeps the database open. It never raises: a server that
// cannot be asked gives the outcome Unreached with the reason.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ibclient/gds_library.h"
#include "platform/open_files.h"
#include "platform/running_processes.h"
#include "tool/cache_bypass.h"
#include "tool/run_target.h"

// Where the step looks: the system in the program, fixtures and the fake client in tests.
struct BypassSources {
  std::shared_ptr<IGDSLibrary> library;
  std::function<std::vector<RunningProcess>()> processes;
  std::function<std::optional<std::vector<ForeignOpening>>(int, const std::u16string&)> openings;
  FileAccess files;
};

BypassSources SystemBypassSources();

// NotAsked unless the server is local and the database a local file.
BypassVerdict FindBypassVerdict(const ServerTarget& target, const BypassSources& sources);
