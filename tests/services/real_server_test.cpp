// The session and the statistics run against each local Firebird server that scripts/firebird-up
// starts (Firebird 3 on 127.0.0.1:3050, Firebird 4 on 3051), through this machine's real client
// library. Skipped, with the reason, when a server or the client library is not there;
// scripts/test always brings them up.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "ibclient/errors.h"
#include "ibclient/gds_library.h"
#include "services/statistical_service.h"
#include "tests/services/real_client.h"
#include "tests/support/firebird.h"
#include "tests/support/run_process.h"

namespace {

class RealServerTest : public ::testing::TestWithParam<FirebirdServer> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_SERVER(GetParam());
    if (!RealClientLibrary()) {
      if (std::getenv("FBWARM_REQUIRE_SERVER")) FAIL() << "no libfbclient.so.2 found";
      GTEST_SKIP() << "the Firebird client library (libfbclient2) was not found at configure time";
    }
  }

  const FirebirdServer& Server() const { return GetParam(); }

  // A statistics session configured the way the warm-up run does it, for the test's server
  // unless another is named.
  std::unique_ptr<TIBStatisticalService> NewSession(const std::string& password,
                                                    std::u16string server = u"") {
    if (server.empty()) server = ToU16(Server().Label());
    auto session = std::make_unique<TIBStatisticalService>(nullptr, RealClientLibrary());
    session->SetServerName(server);
    session->SetProtocol(TProtocol::TCP);
    session->Params().Clear();
    session->Params().Add(u"user_name=SYSDBA");
    session->Params().Add(u"password=" + ToU16(password));
    session->SetLoginPrompt(false);
    session->SetTraceFlags(TTraceFlags{});
    return session;
  }
};

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

TEST_P(RealServerTest, AttachesAndDetachesAsSysdbaAndAttachesAgainWithTheSameBlock) {
  auto session = NewSession(FirebirdPassword(Server()));
  session->SetActive(true);
  EXPECT_TRUE(session->Active());
  EXPECT_NE(session->Handle(), 0u);
  session->SetActive(false);
  EXPECT_FALSE(session->Active());
  EXPECT_EQ(session->Handle(), 0u);

  session->Attach();
  EXPECT_TRUE(session->Active());
  session->Detach();
  EXPECT_FALSE(session->Active());
}

TEST_P(RealServerTest, WrongPasswordIsRefusedWithTheServersMessage) {
  auto session = NewSession(FirebirdPassword(Server()) + "-wrong");
  try {
    session->SetActive(true);
    FAIL() << "the attach with a wrong password succeeded";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(Utf16ToUtf8(e.Message()),
              "Your user name and password are not defined. Ask your database administrator to "
              "set up a Firebird login");
    EXPECT_EQ(e.IBErrorCode(), isc_login);
  }
  EXPECT_FALSE(session->Active());
}

TEST_P(RealServerTest, UnreachableServerFailsTheAttach) {
  auto session = NewSession(FirebirdPassword(Server()), u"127.0.0.1/3059");
  try {
    session->SetActive(true);
    FAIL() << "the attach to a port nothing listens on succeeded";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(Utf16ToUtf8(e.Message()),
              "Unable to complete network request to host \"127.0.0.1\".\r\n"
              "Failed to establish a connection");
    EXPECT_EQ(e.IBErrorCode(), isc_network_error);
  }
  EXPECT_FALSE(session->Active());
}

TEST_P(RealServerTest, StatisticsOfAMissingDatabaseFileFailAndLeaveTheSessionDetached) {
  const std::string small = StandardDatabase("small", Server());
  const std::string missing = small.substr(0, small.rfind('/')) + "/no-such-database.fdb";
  auto session = NewSession(FirebirdPassword(Server()));
  session->SetDatabaseName(ToU16(missing));
  session->SetOptions({TStatOption::DataPages, TStatOption::IndexPages});
  session->SetActive(true);
  try {
    session->ServiceStart();
    FAIL() << "starting the statistics of a missing file succeeded";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(Utf16ToUtf8(e.Message()), "Can't open database file " + missing);
  }
  EXPECT_FALSE(session->Active());
}

TEST_P(RealServerTest, StatisticsReportMatchesTheServersOwnUtility) {
  const std::string database = StandardDatabase("small", Server());

  auto session = NewSession(FirebirdPassword(Server()));
  session->SetDatabaseName(ToU16(database));
  session->SetOptions({TStatOption::DataPages, TStatOption::IndexPages});
  session->SetActive(true);
  session->ServiceStart();
  std::vector<std::string> ours;
  while (!session->Eof()) {
    const std::u16string line = session->GetNextLine();
    if (!session->Eof()) {
      EXPECT_FALSE(line.empty()) << "an empty line before the end, after line " << ours.size();
      ours.push_back(Utf16ToUtf8(line));
    } else {
      EXPECT_TRUE(line.empty());
    }
  }
  EXPECT_TRUE(session->GetNextLine().empty());  // the end stays the end
  session->SetActive(false);

  const ProcessResult theirs = ServerStatistics(Server(), database);
  ASSERT_EQ(theirs.exit_code, 0) << theirs.err;

  const std::vector<std::string> their_lines = SplitLines(theirs.out);
  ASSERT_GT(their_lines.size(), 100u);
  EXPECT_EQ(ours.size(), their_lines.size());
  EXPECT_EQ(Server().StableLines(ours), Server().StableLines(their_lines));
  // The report covers every table of the test database, with its indexes.
  for (const char* table : {"CUSTOMERS (", "ORDERS (", "DOCUMENTS (", "EVENTS ("}) {
    bool found = false;
    for (const std::string& line : ours) found = found || line.rfind(table, 0) == 0;
    EXPECT_TRUE(found) << table;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryServer, RealServerTest, ::testing::ValuesIn(FirebirdServers()),
                         [](const auto& info) { return info.param.Name(); });

}  // namespace
