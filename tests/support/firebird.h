// The local Firebird servers that scripts/firebird-up starts, as tests reach them: Firebird 3 on
// 127.0.0.1:3050 and Firebird 4 on 127.0.0.1:3051 (FB_VERSION=4), their passwords, the standard
// databases of scripts/make-database, the servers' own statistics utility, and whether a server
// answers at all. A test against every server is a parameterised test over FirebirdServers().
#pragma once

#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/run_process.h"

struct FirebirdServer {
  int version;  // FB_VERSION of the scripts
  int port;
  // Report lines that change from one statistics run to the next although nothing else touches
  // the database: wall-clock dates and the counters every attachment moves on; each line's text
  // after its leading blanks and tabs starts with one of these.
  std::vector<std::string> run_dependent;

  std::string Name() const { return "Firebird" + std::to_string(version); }
  // The /SERVER: parameter that reaches it from a client whose default port is client_port
  // (this machine's: 3050); none when that is the server's port.
  std::vector<std::string> ServerArgs(int client_port = 3050) const;
  // How the tool names the server in its result line then: "127.0.0.1" or "127.0.0.1/3051".
  std::string Label(int client_port = 3050) const;
  // The database of that server at path, as a client names it: "127.0.0.1/3051:/path".
  std::string Connect(const std::string& path) const;
  // The report without the lines that change from run to run.
  std::vector<std::string> StableLines(const std::vector<std::string>& report) const;
};

// For test names and failure messages.
void PrintTo(const FirebirdServer& server, std::ostream* out);

extern const FirebirdServer kFirebird3;
extern const FirebirdServer kFirebird4;

// Every server under test.
const std::vector<FirebirdServer>& FirebirdServers();

// Runs a bash snippet with scripts/lib/firebird.sh sourced for the server; its standard output
// without the final line breaks, or nullopt when it fails.
std::optional<std::string> FirebirdShell(const std::string& snippet,
                                         const FirebirdServer& server = kFirebird3);

// Empty when the server answers and its SYSDBA password can be read; otherwise why not.
// Under FBWARM_REQUIRE_SERVER=1 (set by scripts/test) a missing server is a test failure
// instead of a skip, so CI can never pass by skipping.
std::string RealServerUnavailable(const FirebirdServer& server = kFirebird3);

std::string FirebirdPassword(const FirebirdServer& server = kFirebird3);

// The path of a standard database of the server (small or large), made when missing.
std::string StandardDatabase(const std::string& name, const FirebirdServer& server = kFirebird3);

// The server's own statistics report of path (data and index pages) from its own fbsvcmgr, the
// one of its release (Firebird 4's runs inside its root).
ProcessResult ServerStatistics(const FirebirdServer& server, const std::string& path);

#define SKIP_WITHOUT_SERVER(server)                                \
  do {                                                             \
    const std::string why_not = RealServerUnavailable(server);     \
    if (!why_not.empty()) {                                        \
      if (std::getenv("FBWARM_REQUIRE_SERVER")) FAIL() << why_not; \
      GTEST_SKIP() << why_not;                                     \
    }                                                              \
  } while (0)

#define SKIP_WITHOUT_REAL_SERVER() SKIP_WITHOUT_SERVER(kFirebird3)
