#include "tests/support/firebird_clients.h"

#include <unistd.h>

#include <map>

const std::vector<FirebirdClient>& FirebirdClients() {
  static const std::vector<FirebirdClient> clients = {
      {"Firebird3", "Firebird 3.0", 3050, {}},
      {"Firebird4", "Firebird 4.0", 3051, {FBWARM_SOURCE_DIR "/scripts/debian13-run"}},
  };
  return clients;
}

void PrintTo(const FirebirdClient& client, std::ostream* out) {
  *out << client.name << " client (" << client.release << ")";
}

void PrintTo(const ClientServerPair& pair, std::ostream* out) {
  PrintTo(pair.client, out);
  *out << " with ";
  PrintTo(pair.server, out);
}

namespace {

std::string WhyUnavailable(const FirebirdClient& client) {
  if (client.wrapper.empty()) return "";
  if (geteuid() != 0) return client.wrapper[0] + " needs root (chroot, mount namespace)";
  // Makes the root on first use; a root's own program runs without a mount of the build.
  ProcessOptions options;
  options.args = {"/bin/true"};
  options.timeout_seconds = 900;
  const ProcessResult r = RunProcess(client.wrapper[0], options);
  if (r.exit_code != 0) return client.wrapper[0] + " /bin/true failed: " + r.err;
  return "";
}

}  // namespace

std::string ClientUnavailable(const FirebirdClient& client) {
  static std::map<std::string, std::string> answers;  // once per process
  if (!answers.count(client.name)) answers[client.name] = WhyUnavailable(client);
  return answers[client.name];
}

std::vector<ClientServerPair> EveryClientAndServer() {
  std::vector<ClientServerPair> pairs;
  for (const FirebirdClient& client : FirebirdClients())
    for (const FirebirdServer& server : FirebirdServers()) pairs.push_back({client, server});
  return pairs;
}
