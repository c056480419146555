// An alias of a local server's databases.conf resolved to its file, so that the read-through
// can read the file while the server is still given the alias.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/running_processes.h"
#include "tool/run_target.h"
#include "tool/server_config.h"
#include "tool/server_process.h"

// The directories an installation's configuration macros stand for: $(root) and $(dir_conf),
// $(dir_secDb), ... as the server expands them. Each path as the server sees it.
struct FirebirdDirectories {
  std::vector<std::pair<std::string, std::string>> macros;  // name (dir_* lower case), path
};

// The directories of the installation whose configuration lies in config_dir (as the server
// sees it): Debian's firebird3.0 (/etc/firebird/3.0) and its later packages (/etc/firebird/<v>,
// everything below /usr/lib/x86_64-linux-gnu/firebird/<v>), or an installation that keeps its
// configuration in its own directory (/opt/firebird).
FirebirdDirectories DirectoriesOfInstallation(const std::string& config_dir);

// text with every $(name) replaced: root and this (the directory of the file the text is from)
// with their letter case as written, dir_* with any. Nothing for an unknown or unclosed macro:
// the server would refuse that line.
std::optional<std::string> ExpandConfigMacros(std::string_view text,
                                              const FirebirdDirectories& directories,
                                              const std::string& this_dir);

// The file that the alias db names among entries (from the databases.conf in config_dir), by
// the server's rule: the alias must match exactly and only once, and the path must be absolute
// once its macros are expanded. Nothing otherwise.
std::optional<std::string> AliasFile(const std::vector<DatabaseEntry>& entries,
                                     const std::string& db, const std::string& config_dir);

// The file that db names when it is an alias of the server that serves server's port on this
// machine; nothing for another server, no such server or configuration, or no such alias.
// The file is as this machine reaches it (through the server's root where that is another).
std::optional<AliasTarget> ResolveLocalAlias(const std::u16string& db, const std::u16string& server,
                                             const std::vector<RunningProcess>& processes,
                                             const FileAccess& files);

// The look-up a run uses: the machine's processes and files.
AliasLookup SystemAliasLookup();
