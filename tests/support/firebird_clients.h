// The Firebird client libraries that programs under test run with: this machine's (Debian 12's
// libfbclient2, Firebird 3.0.11) and the one of the Firebird 4 server's Debian 13 root (Firebird
// 4.0.5), reached by running the program through scripts/debian13-run. With the servers of
// tests/support/firebird.h they form the (client, server) pairs that process-level tests run
// over: a test for every pair is one parameterised test over EveryClientAndServer().
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/firebird.h"

struct FirebirdClient {
  std::string name;
  // How isc_get_client_version's text ends for this library.
  std::string release;
  // The port it connects to when none is named: its configuration's RemoteServicePort. The
  // Debian 13 root's configuration is the Firebird 4 server's, so its clients reach 3051.
  int default_port;
  // Prepended to a program and its arguments to run it with this client (ProcessOptions).
  std::vector<std::string> wrapper;
};

const std::vector<FirebirdClient>& FirebirdClients();
void PrintTo(const FirebirdClient& client, std::ostream* out);

// Empty when programs can run with the client; otherwise why not (the Debian 13 root needs root
// and is made on first use).
std::string ClientUnavailable(const FirebirdClient& client);

struct ClientServerPair {
  FirebirdClient client;
  FirebirdServer server;

  // The /SERVER: parameter with which the client reaches the server, and the name of the server
  // in the result line then.
  std::vector<std::string> ServerArgs() const { return server.ServerArgs(client.default_port); }
  std::string Label() const { return server.Label(client.default_port); }
};

std::vector<ClientServerPair> EveryClientAndServer();
void PrintTo(const ClientServerPair& pair, std::ostream* out);

// "Firebird3Client_Firebird4Server", for INSTANTIATE_TEST_SUITE_P.
struct PairName {
  template <typename Info>
  std::string operator()(const Info& info) const {
    return info.param.client.name + "Client_" + info.param.server.Name() + "Server";
  }
};

#define SKIP_WITHOUT_PAIR(pair)                                          \
  do {                                                                   \
    std::string why_not = ClientUnavailable((pair).client);              \
    if (why_not.empty()) why_not = RealServerUnavailable((pair).server); \
    if (!why_not.empty()) {                                              \
      if (std::getenv("FBWARM_REQUIRE_SERVER")) FAIL() << why_not;       \
      GTEST_SKIP() << why_not;                                           \
    }                                                                    \
  } while (0)
