#include "tests/support/firebird.h"

#include <map>
#include <stdexcept>
#include <utility>

namespace {

// Measured: two statistics runs of an untouched database differ in exactly these lines, on
// Firebird 3.0.11 and on 4.0.5 alike (4.0's header adds "System Change Number", which stays).
const std::vector<std::string> kMovingLines = {
    "Gstat execution time", "Gstat completion time", "Generation",       "Oldest transaction",
    "Oldest active",        "Oldest snapshot",       "Next transaction", "Next attachment ID"};

std::string Shell(const FirebirdServer& server, const std::string& snippet) {
  return "export FB_VERSION=" + std::to_string(server.version) +
         " && . '" FBWARM_SOURCE_DIR "/scripts/lib/firebird.sh' && " + snippet;
}

}  // namespace

const FirebirdServer kFirebird3{3, 3050, kMovingLines};
const FirebirdServer kFirebird4{4, 3051, kMovingLines};

const std::vector<FirebirdServer>& FirebirdServers() {
  static const std::vector<FirebirdServer> servers = {kFirebird3, kFirebird4};
  return servers;
}

void PrintTo(const FirebirdServer& server, std::ostream* out) {
  *out << server.Name() << " on port " << server.port;
}

std::vector<std::string> FirebirdServer::ServerArgs(int client_port) const {
  if (port == client_port) return {};
  return {"/SERVER:" + Label(client_port)};
}

std::string FirebirdServer::Label(int client_port) const {
  return port == client_port ? "127.0.0.1" : "127.0.0.1/" + std::to_string(port);
}

std::string FirebirdServer::Connect(const std::string& path) const {
  return "127.0.0.1/" + std::to_string(port) + ":" + path;
}

std::vector<std::string> FirebirdServer::StableLines(const std::vector<std::string>& report) const {
  std::vector<std::string> stable;
  for (const std::string& line : report) {
    const size_t first = line.find_first_not_of("\t ");
    bool moves = false;
    for (const std::string& start : run_dependent)
      moves =
          moves || (first != std::string::npos && line.compare(first, start.size(), start) == 0);
    if (!moves) stable.push_back(line);
  }
  return stable;
}

std::optional<std::string> FirebirdShell(const std::string& snippet, const FirebirdServer& server) {
  ProcessOptions options;
  options.args = {"-c", Shell(server, snippet)};
  options.timeout_seconds = 900;  // making the large database takes minutes
  const ProcessResult result = RunProcess("bash", options);
  if (result.exit_code != 0) return std::nullopt;
  std::string out = result.out;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

namespace {

// Answers per server, worked out once per process (tests run on one thread).
template <typename Value>
Value& PerServer(std::map<int, Value>& answers, const FirebirdServer& server,
                 Value (*work_out)(const FirebirdServer&)) {
  auto found = answers.find(server.version);
  if (found == answers.end()) found = answers.emplace(server.version, work_out(server)).first;
  return found->second;
}

std::string WhyUnavailable(const FirebirdServer& server) {
  const std::string up =
      server.version == 3 ? "scripts/firebird-up" : "FB_VERSION=4 scripts/firebird-up";
  if (!FirebirdShell("fb_port_open", server))
    return "no Firebird server answers on 127.0.0.1:" + std::to_string(server.port) + " (" + up +
           ")";
  if (FirebirdPassword(server).empty())
    return "the SYSDBA password of Firebird " + std::to_string(server.version) +
           " cannot be read (scripts/firebird-password)";
  return "";
}

std::string ReadPassword(const FirebirdServer& server) {
  return FirebirdShell("fb_password", server).value_or("");
}

}  // namespace

std::string RealServerUnavailable(const FirebirdServer& server) {
  static std::map<int, std::string> answers;
  return PerServer(answers, server, WhyUnavailable);
}

std::string FirebirdPassword(const FirebirdServer& server) {
  static std::map<int, std::string> answers;
  return PerServer(answers, server, ReadPassword);
}

std::string StandardDatabase(const std::string& name, const FirebirdServer& server) {
  static std::map<std::pair<int, std::string>, std::string> made;
  const auto key = std::make_pair(server.version, name);
  if (!made.count(key)) {
    auto path = FirebirdShell("'" FBWARM_SOURCE_DIR "/scripts/make-database' " + name, server);
    if (!path) {
      throw std::runtime_error("FB_VERSION=" + std::to_string(server.version) +
                               " scripts/make-database " + name + " failed");
    }
    made[key] = *path;
  }
  return made[key];
}

ProcessResult ServerStatistics(const FirebirdServer& server, const std::string& path) {
  ProcessOptions options;
  // The path goes through the environment: no quoting of it in the snippet.
  options.env["FBWARM_STATS_DB"] = path;
  options.args = {"-c", Shell(server,
                              "fb_tool fbsvcmgr \"$FB_HOST/$FB_PORT:service_mgr\" user SYSDBA "
                              "password \"$(fb_password)\" action_db_stats dbname "
                              "\"$FBWARM_STATS_DB\" sts_data_pages sts_idx_pages")};
  options.timeout_seconds = 600;
  return RunProcess("bash", options);
}
