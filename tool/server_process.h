// Which Firebird server process on this machine serves a TCP port, and where its configuration
// lies. Found by what any user may read of another process (its name and its arguments) and
// by the files of the installation its binary belongs to, so it works without the right to
// look into the server process.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/running_processes.h"
#include "tool/server_config.h"

// How the files of the machine are read here: the program reads them, tests hand fixtures.
struct FileAccess {
  ConfigFileReader read;
  std::function<bool(const std::string& path)> exists;
};

// The port of a /SERVER value ("host", "host/3051", "host/gds_db"); 3050 without one, nothing
// for a service name other than gds_db.
std::optional<uint16_t> ServerPort(const std::u16string& server);

// The configuration directory of an installation, from the path of its server binary as seen
// in the file system at root ("" for ours): Debian's /usr/sbin/firebird belongs to the
// /etc/firebird/<version> of the package that installed it, Debian's
// /usr/lib/firebird/<version>/bin/* to /etc/firebird/<version>, and a binary in <dir>/bin
// beside <dir>/firebird.conf (/opt/firebird) to <dir>. The result includes root; nothing when
// no rule fits.
std::optional<std::string> ConfigDirOfBinary(const std::string& binary, const std::string& root,
                                             const FileAccess& files);

// The port a server started with arguments serves under its configuration settings: "-p N" on
// its command line, else RemoteServicePort when not 0, else RemoteServiceName (gds_db) in the
// services file at root.
std::optional<uint16_t> PortOfServer(const std::vector<std::string>& arguments,
                                     const ConfigSettings& settings, const std::string& root,
                                     const FileAccess& files);

// A Firebird server process as found.
struct ServerInstance {
  int pid = 0;
  std::string binary;      // argument 0 as the process shows it
  std::string config_dir;  // empty when no rule tells where its configuration is
  std::optional<uint16_t> port;
};

// The server processes seen (by name: firebird, fbserver, fb_smp_server, fb_inet_server), one
// per installation, each with what could be told of it.
std::vector<ServerInstance> FirebirdServers(const std::vector<RunningProcess>& processes,
                                            const FileAccess& files);

// The one among servers that serves port, or nothing.
std::optional<ServerInstance> ServerForPort(const std::vector<ServerInstance>& servers,
                                            uint16_t port);
