#include "tool/server_process.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace {

// The names a Firebird server process has had: one binary since version 3, one per mode before.
constexpr const char* kServerNames[] = {"firebird", "fbserver", "fb_smp_server", "fb_inet_server"};
constexpr uint16_t kDefaultPort = 3050;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::optional<uint16_t> ParsePort(const std::string& text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const unsigned long value = std::stoul(text);
  if (value == 0 || value > 65535) return std::nullopt;
  return static_cast<uint16_t>(value);
}

// The TCP port of a service name in a services file ("name port/tcp aliases...").
std::optional<uint16_t> ServicePort(const std::string& services, const std::string& name) {
  std::istringstream lines(services);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line.substr(0, line.find('#')));
    std::string service, port_proto, alias;
    if (!(words >> service >> port_proto)) continue;
    const size_t slash = port_proto.find('/');
    if (slash == std::string::npos || port_proto.substr(slash + 1) != "tcp") continue;
    bool named = service == name;
    while (!named && words >> alias) named = alias == name;
    if (named) return ParsePort(port_proto.substr(0, slash));
  }
  return std::nullopt;
}

}  // namespace

std::optional<uint16_t> ServerPort(const std::u16string& server) {
  const size_t slash = server.rfind(u'/');
  if (slash == std::u16string::npos) return kDefaultPort;
  std::string port;
  for (char16_t c : server.substr(slash + 1)) port += c < 128 ? static_cast<char>(c) : '?';
  if (Lower(port) == "gds_db") return kDefaultPort;
  return ParsePort(port);
}

std::optional<std::string> ConfigDirOfBinary(const std::string& binary, const std::string& root,
                                             const FileAccess& files) {
  if (binary.empty() || binary.front() != '/') return std::nullopt;
  const size_t slash = binary.rfind('/');
  const std::string dir = binary.substr(0, slash);
  constexpr std::string_view kDebianLib = "/usr/lib/firebird/";
  if (dir.rfind(kDebianLib, 0) == 0 && dir.size() > kDebianLib.size() + 4 &&
      dir.compare(dir.size() - 4, 4, "/bin") == 0) {
    const std::string version = dir.substr(kDebianLib.size(), dir.size() - 4 - kDebianLib.size());
    if (version.find('/') == std::string::npos) return root + "/etc/firebird/" + version;
  }
  // Of Debian's server packages only firebird3.0-server puts the server itself in /usr/sbin;
  // later ones keep it in /usr/lib/firebird/<version>/bin. Asking dpkg's own files instead
  // would tie the program to their layout.
  if (binary == "/usr/sbin/firebird") {
    const std::string config = root + "/etc/firebird/3.0";
    if (files.exists(root + binary) && files.exists(config + "/firebird.conf")) return config;
    return std::nullopt;
  }
  if (dir.size() > 4 && dir.compare(dir.size() - 4, 4, "/bin") == 0) {
    const std::string install = dir.substr(0, dir.size() - 4);
    if (files.exists(root + install + "/firebird.conf")) return root + install;
  }
  return std::nullopt;
}

std::optional<uint16_t> PortOfServer(const std::vector<std::string>& arguments,
                                     const ConfigSettings& settings, const std::string& root,
                                     const FileAccess& files) {
  std::optional<std::string> service;
  for (size_t i = 1; i + 1 < arguments.size(); ++i)
    if (Lower(arguments[i]) == "-p") service = arguments[i + 1];
  if (!service) {
    const ConfigSetting* port = settings.Find("RemoteServicePort");
    const std::optional<uint64_t> number = port ? ParseConfigNumber(port->value) : std::nullopt;
    if (number && *number > 0 && *number <= 65535) return static_cast<uint16_t>(*number);
    const ConfigSetting* name = settings.Find("RemoteServiceName");
    service = name ? name->value : "gds_db";
  }
  if (const std::optional<uint16_t> number = ParsePort(*service)) return number;
  std::string services;
  if (files.read(root + "/etc/services", services))
    if (const std::optional<uint16_t> port = ServicePort(services, *service)) return port;
  // The client and the server fall back on the registered port when gds_db is not listed.
  if (*service == "gds_db") return kDefaultPort;
  return std::nullopt;
}

std::vector<ServerInstance> FirebirdServers(const std::vector<RunningProcess>& processes,
                                            const FileAccess& files) {
  std::vector<RunningProcess> by_pid = processes;
  std::sort(by_pid.begin(), by_pid.end(),
            [](const RunningProcess& a, const RunningProcess& b) { return a.pid < b.pid; });
  std::vector<ServerInstance> servers;
  std::vector<std::string> installations;
  for (const RunningProcess& process : by_pid) {
    if (std::none_of(std::begin(kServerNames), std::end(kServerNames),
                     [&](const char* name) { return process.name == name; }))
      continue;
    ServerInstance server;
    server.pid = process.pid;
    server.binary = process.arguments.empty() ? std::string() : process.arguments.front();
    // Classic runs one process per attachment: one installation is one server.
    std::string installation = process.root;
    for (const std::string& argument : process.arguments) installation += '\0' + argument;
    if (std::find(installations.begin(), installations.end(), installation) != installations.end())
      continue;
    installations.push_back(installation);
    if (const auto dir = ConfigDirOfBinary(server.binary, process.root, files)) {
      server.config_dir = *dir;
      ConfigSettings settings;
      if (ApplyConfigFile(*dir + "/firebird.conf", settings, files.read))
        server.port = PortOfServer(process.arguments, settings, process.root, files);
    }
    servers.push_back(std::move(server));
  }
  return servers;
}

std::optional<ServerInstance> ServerForPort(const std::vector<ServerInstance>& servers,
                                            uint16_t port) {
  for (const ServerInstance& server : servers)
    if (server.port == port) return server;
  return std::nullopt;
}
