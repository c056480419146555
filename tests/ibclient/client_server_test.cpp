// Every client library under test with every server under test (tests/support/firebird_clients.h):
// each program gets the library of its client, and each client attaches to each server as
// installed, with default settings on both sides, over an encrypted link.
#include <gtest/gtest.h>

#include <map>

#include "tests/support/firebird_clients.h"
#include "tests/support/tool_output.h"

namespace {

class EveryClient : public ::testing::TestWithParam<FirebirdClient> {};

// "NAME value" lines of isql's SET LIST ON output, by name.
std::map<std::string, std::string> ListedValues(const std::string& out) {
  std::map<std::string, std::string> values;
  for (const std::string& line : SplitAt(out, "\n")) {
    const size_t blank = line.find(' ');
    const size_t value = line.find_first_not_of(' ', blank);
    if (blank != std::string::npos && value != std::string::npos)
      values[line.substr(0, blank)] = line.substr(value);
  }
  return values;
}

}  // namespace

TEST_P(EveryClient, AProgramBindsTheClientsOwnLibraryByName) {
  const std::string why_not = ClientUnavailable(GetParam());
  if (!why_not.empty()) {
    if (std::getenv("FBWARM_REQUIRE_SERVER")) FAIL() << why_not;
    GTEST_SKIP() << why_not;
  }
  ProcessOptions options;
  options.args = {"client-version"};
  options.wrapper = GetParam().wrapper;
  options.env["LD_LIBRARY_PATH"] = std::nullopt;
  const ProcessResult r = RunProcess(PROBE_BINARY, options);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  const std::vector<std::string> lines = SplitAt(r.out, "\n");
  ASSERT_EQ(lines.size(), 2u) << r.out;
  EXPECT_EQ(lines[0], "version=63000");
  const std::string release = " " + GetParam().release;
  EXPECT_EQ(lines[1].substr(lines[1].size() - std::min(lines[1].size(), release.size())), release)
      << lines[1];
}

INSTANTIATE_TEST_SUITE_P(FirebirdClients, EveryClient, ::testing::ValuesIn(FirebirdClients()),
                         [](const auto& info) { return info.param.name; });

namespace {

class ClientAndServer : public ::testing::TestWithParam<ClientServerPair> {
 protected:
  void SetUp() override { SKIP_WITHOUT_PAIR(GetParam()); }
};

}  // namespace

// Firebird 4 authenticates with Srp256 by default and both releases build in Arc4 wire
// encryption, which the clients enable by default: nothing on the Firebird 4 server needed
// changing for the 3.0.11 client.
TEST_P(ClientAndServer, AttachesWithDefaultSettingsOverAnEncryptedLink) {
  const FirebirdServer& server = GetParam().server;
  ProcessOptions options;
  // The client's own isql, with its own library and configuration.
  options.args = {"-q",
                  "-user",
                  "SYSDBA",
                  "-password",
                  FirebirdPassword(server),
                  server.Connect(StandardDatabase("small", server))};
  options.wrapper = GetParam().client.wrapper;
  options.stdin_bytes =
      "SET LIST ON;\n"
      "SELECT RDB$GET_CONTEXT('SYSTEM', 'WIRE_ENCRYPTED') AS WIRE_ENCRYPTED,\n"
      "  RDB$GET_CONTEXT('SYSTEM', 'ENGINE_VERSION') AS ENGINE_VERSION,\n"
      "  MON$AUTH_METHOD AS AUTH_METHOD, MON$CLIENT_VERSION AS CLIENT_VERSION\n"
      "FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = CURRENT_CONNECTION;\n";
  const ProcessResult r = RunProcess("/usr/bin/isql-fb", options);
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  std::map<std::string, std::string> got = ListedValues(r.out);
  EXPECT_EQ(got["WIRE_ENCRYPTED"], "TRUE") << r.out;
  EXPECT_EQ(got["ENGINE_VERSION"].substr(0, 2), std::to_string(server.version) + ".") << r.out;
  // The strongest method both sides allow by default: Firebird 3's server offers Srp only.
  EXPECT_EQ(got["AUTH_METHOD"], server.version == 3 ? "Srp" : "Srp256") << r.out;
  // The server saw the client library of the pair, not another one.
  const std::string release = " " + GetParam().client.release;
  const std::string& version = got["CLIENT_VERSION"];
  EXPECT_TRUE(version.size() > release.size() &&
              version.compare(version.size() - release.size(), release.size(), release) == 0)
      << r.out;
}

INSTANTIATE_TEST_SUITE_P(EveryClientAndServer, ClientAndServer,
                         ::testing::ValuesIn(EveryClientAndServer()), PairName());
