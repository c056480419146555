// The session and the statistics run against the local Firebird server that scripts/firebird-up
// starts (127.0.0.1:3050), through the real client library. Skipped, with the reason, when the
// server or the client library is not there; scripts/test always brings both up.
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

class RealServerTest : public RealClientTest {
 protected:
  // A statistics session configured the way the warm-up run does it.
  std::unique_ptr<TIBStatisticalService> NewSession(const std::string& password,
                                                    const std::u16string& server = u"127.0.0.1") {
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

// Lines whose text changes from run to run: wall-clock dates and transaction counters that
// every statistics run moves on.
bool RunDependent(const std::string& line) {
  static const std::vector<std::string> starts = {
      "Gstat execution time", "Gstat completion time", "Generation",       "Oldest transaction",
      "Oldest active",        "Oldest snapshot",       "Next transaction", "Next attachment ID"};
  const size_t first = line.find_first_not_of("\t ");
  if (first == std::string::npos) return false;
  for (const std::string& start : starts)
    if (line.compare(first, start.size(), start) == 0) return true;
  return false;
}

std::vector<std::string> StableLines(const std::vector<std::string>& lines) {
  std::vector<std::string> stable;
  for (const std::string& line : lines)
    if (!RunDependent(line)) stable.push_back(line);
  return stable;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

TEST_F(RealServerTest, AttachesAndDetachesAsSysdbaAndAttachesAgainWithTheSameBlock) {
  auto session = NewSession(FirebirdPassword());
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

TEST_F(RealServerTest, WrongPasswordIsRefusedWithTheServersMessage) {
  auto session = NewSession(FirebirdPassword() + "-wrong");
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

TEST_F(RealServerTest, UnreachableServerFailsTheAttach) {
  auto session = NewSession(FirebirdPassword(), u"127.0.0.1/3059");
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

TEST_F(RealServerTest, StatisticsOfAMissingDatabaseFileFailAndLeaveTheSessionDetached) {
  const std::string missing = "/var/lib/fbwarm/no-such-database.fdb";
  auto session = NewSession(FirebirdPassword());
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

TEST_F(RealServerTest, StatisticsReportMatchesTheServersOwnUtility) {
  const std::string database = StandardDatabase("small");

  auto session = NewSession(FirebirdPassword());
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

  ProcessOptions options;
  options.args = {"127.0.0.1:service_mgr", "user",   "SYSDBA", "password",       FirebirdPassword(),
                  "action_db_stats",       "dbname", database, "sts_data_pages", "sts_idx_pages"};
  const ProcessResult theirs = RunProcess("fbsvcmgr", options);
  ASSERT_EQ(theirs.exit_code, 0) << theirs.err;

  const std::vector<std::string> their_lines = SplitLines(theirs.out);
  ASSERT_GT(their_lines.size(), 100u);
  EXPECT_EQ(ours.size(), their_lines.size());
  EXPECT_EQ(StableLines(ours), StableLines(their_lines));
  // The report covers every table of the test database, with its indexes.
  for (const char* table : {"CUSTOMERS (", "ORDERS (", "DOCUMENTS (", "EVENTS ("}) {
    bool found = false;
    for (const std::string& line : ours) found = found || line.rfind(table, 0) == 0;
    EXPECT_TRUE(found) << table;
  }
}

}  // namespace
