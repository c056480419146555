// The statistics run over the fake client library: the start request's bytes, the line
// and chunk answers, the state of the query step and the output buffer's size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "tests/services/fake_client_fixture.h"

namespace {

using StatisticsTest = FakeClientTest;

struct StartCase {
  std::u16string database;
  TStatOptions options;
  std::u16string tables;
  std::string request;  // hex
};

TEST_F(StatisticsTest, StartRequestCarriesDatabaseOptionsMaskAndTables) {
  const std::string db = "0b6a0b00" + Hex("C:\\DB\\A.GDB");
  const TStatOptions all{TStatOption::DataPages,       TStatOption::DbLog,
                         TStatOption::HeaderPages,     TStatOption::IndexPages,
                         TStatOption::SystemRelations, TStatOption::RecordVersions,
                         TStatOption::StatTables};
  const std::vector<StartCase> cases = {
      {u"C:\\DB\\A.GDB",
       {TStatOption::DataPages, TStatOption::IndexPages},
       u"",
       "0b6a0b00433a5c44425c412e4744426c09000000"},
      {u"C:\\DB\\A.GDB", {}, u"", db + "6c00000000"},
      {u"C:\\DB\\A.GDB", {TStatOption::DbLog}, u"", db + "6c02000000"},
      {u"C:\\DB\\A.GDB", {TStatOption::HeaderPages}, u"", db + "6c04000000"},
      {u"C:\\DB\\A.GDB", {TStatOption::SystemRelations}, u"", db + "6c10000000"},
      {u"C:\\DB\\A.GDB", {TStatOption::RecordVersions}, u"", db + "6c20000000"},
      {u"C:\\DB\\A.GDB", all, u"T1 T2", db + "6c7f000000" + "690500" + Hex("T1 T2")},
      {u"C:\\DB\\A.GDB", {TStatOption::StatTables}, u"", db + "6c40000000"},
      {u"C:\\DB\\A.GDB", {TStatOption::DataPages}, u"T1", db + "6c01000000"},
      // The count is two bytes, low byte first; the text is converted (UTF-8 here).
      {std::u16string(300, u'x'), {}, u"", "0b6a2c01" + Hex(std::string(300, 'x')) + "6c00000000"},
      {u"/db/gr\u00f6\u00df.fdb",
       {},
       u"",
       "0b6a0e00" + Hex("/db/gr\xc3\xb6\xc3\x9f.fdb") + "6c00000000"},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE(c.request);
    Reset();
    auto session = NewSession();
    session->SetDatabaseName(c.database);
    session->SetOptions(c.options);
    session->SetTableNames(c.tables);
    session->SetActive(true);
    session->ServiceStart();
    const auto starts = Calls("isc_service_start");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].Detail("request"), c.request);
    EXPECT_EQ(starts[0].Detail("handle"), std::to_string(session->Handle()));
  }
}

TEST_F(StatisticsTest, TableItemsFollowTheOptionsOneItemPerTable) {
  const std::string db = "0b6a0b00" + Hex("C:\\DB\\A.GDB");
  struct Case {
    TStatOptions options;
    std::u16string names;  // the command-line text of StatTables
    std::vector<std::u16string> items;
    std::string request;
  } cases[] = {
      {{TStatOption::IndexPages}, u"", {}, db + "6c08000000"},
      {{TStatOption::DataPages, TStatOption::IndexPages},
       u"",
       {u"ORDERS", u"EVENTS"},
       db + "6c09000000" + "400600" + Hex("ORDERS") + "400600" + Hex("EVENTS")},
      // Both ways of naming tables in one request: the command line first, as it always was.
      {{TStatOption::StatTables},
       u"T1",
       {u"T2"},
       db + "6c40000000690200" + Hex("T1") + "400200" + Hex("T2")},
      {{TStatOption::IndexPages},
       u"",
       {u"gr\u00fc\u00df"},
       db + "6c08000000" + "400600" + Hex("gr\xc3\xbc\xc3\x9f")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    Reset();
    auto session = NewSession();
    session->SetDatabaseName(u"C:\\DB\\A.GDB");
    session->SetOptions(c.options);
    session->SetTableNames(c.names);
    session->SetTableItems(c.items);
    session->SetActive(true);
    session->ServiceStart();
    const auto starts = Calls("isc_service_start");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].Detail("request"), c.request);
  }
}

TEST_F(StatisticsTest, StartIsRefusedBeforeAnythingIsSent) {
  auto session = NewSession();
  session->SetDatabaseName(u"C:\\DB\\A.GDB");
  EXPECT_CLIENT_ERROR(session->ServiceStart(), ClientErrorCode::ServiceNotAttached);

  session->SetActive(true);
  session->SetDatabaseName(u"");
  EXPECT_CLIENT_ERROR(session->ServiceStart(), ClientErrorCode::StartParamsInvalid);
  // No start request was built: reading still needs one.
  EXPECT_CLIENT_ERROR(session->GetNextLine(), ClientErrorCode::QueryParamsInvalid);

  session->SetDatabaseName(std::u16string(65536, u'x'));
  try {
    session->ServiceStart();
    ADD_FAILURE() << "an over-long database name was sent";
  } catch (const EIBClientError& e) {
    EXPECT_EQ(e.Message(), u"Start parameter value too long (db_name: 65536 bytes, at most 65535)");
  }
  EXPECT_CLIENT_ERROR(session->GetNextLine(), ClientErrorCode::QueryParamsInvalid);

  // Each item fits its count, the whole request does not fit the call's 16-bit length.
  session->SetDatabaseName(std::u16string(40000, u'x'));
  session->SetOptions({TStatOption::StatTables});
  session->SetTableNames(std::u16string(40000, u't'));
  try {
    session->ServiceStart();
    ADD_FAILURE() << "an over-long start request was sent";
  } catch (const EIBClientError& e) {
    EXPECT_EQ(e.Message(), u"Start parameters too long (80012 bytes, at most 65535)");
  }

  // A control service builds no request at all.
  TIBControlService control(nullptr, Library());
  control.SetServerName(u"dbhost");
  control.SetLoginPrompt(false);
  control.SetActive(true);
  EXPECT_CLIENT_ERROR(control.ServiceStart(), ClientErrorCode::StartParamsInvalid);

  EXPECT_TRUE(Calls("isc_service_start").empty());
  EXPECT_TRUE(session->Active());
}

TEST_F(StatisticsTest, ReportIsReadLineByLineUntilTheEmptyLine) {
  Fake().AddLine("Database \"C:\\DB\\A.GDB\" ");
  Fake().AddLine("\tGeneration\t\t37 ");
  auto session = StartedSession();
  EXPECT_FALSE(session->Eof());
  EXPECT_EQ(session->GetNextLine(), u"Database \"C:\\DB\\A.GDB\" ");
  EXPECT_FALSE(session->Eof());
  EXPECT_EQ(session->GetNextLine(), u"\tGeneration\t\t37 ");
  EXPECT_FALSE(session->Eof());
  EXPECT_EQ(session->GetNextLine(), u"");
  EXPECT_TRUE(session->Eof());
  // The end stays the end without asking the server.
  EXPECT_EQ(session->GetNextLine(), u"");
  EXPECT_EQ(session->GetNextChunk(), "");
  const auto queries = Calls("isc_service_query");
  ASSERT_EQ(queries.size(), 3u);
  for (const ServiceCall& query : queries) {
    EXPECT_EQ(query.Detail("request"), "3e");
    EXPECT_EQ(query.Detail("send"), "");
    EXPECT_EQ(query.Detail("buffer_length"), "32000");
    EXPECT_EQ(query.Detail("handle"), std::to_string(session->Handle()));
  }

  // A new start on the same session begins a new run.
  session->SetActive(false);
  Reset();
  Fake().AddLine("again ");
  session->SetActive(true);
  session->ServiceStart();
  EXPECT_FALSE(session->Eof());
  EXPECT_EQ(session->GetNextLine(), u"again ");
  EXPECT_EQ(session->GetNextLine(), u"");
  EXPECT_TRUE(session->Eof());
  EXPECT_EQ(Calls("isc_service_query").size(), 2u);
}

struct LineCase {
  std::string response;  // hex
  std::u16string line;   // the result, when no error
  bool error;
  bool eof;
};

TEST_F(StatisticsTest, LineAnswersAreCheckedAndDecoded) {
  const std::string kGroesse = std::string("Gr\xc3\xb6\xc3\x9f") + "e";  // UTF-8, 7 bytes
  const std::vector<LineCase> cases = {
      {"3e000001", u"", false, true},
      {"3e030061626301", u"abc", false, false},
      {"3e0500616200636401", u"ab", false, false},  // a zero byte cuts the line
      {"3e0700" + Hex(kGroesse) + "01", u"Gr\u00f6\u00dfe", false, false},
      {"3e030061626302", u"", true, false},  // truncated
      {"3e030061626300", u"", true, false},
      {"3f030061626301", u"", true, false},  // another item echoed
      {"01", u"", true, false},
      {"3effff", u"", true, false},      // a length past the buffer's end
      {"3e00800000", u"", true, false},  // 32768, as the client decodes it: signed
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.response);
    Reset();
    Fake().AddResponse(Unhex(c.response));
    auto session = StartedSession();
    if (c.error) {
      EXPECT_CLIENT_ERROR(session->GetNextLine(), ClientErrorCode::UnexpectedOutputValue);
      EXPECT_TRUE(session->Active());
    } else {
      EXPECT_EQ(session->GetNextLine(), c.line);
    }
    EXPECT_EQ(session->Eof(), c.eof);
  }
}

TEST_F(StatisticsTest, LongLinesUpToTheBufferSize) {
  // 40000 bytes: the length's high byte has its top bit set.
  Fake().AddLine(std::string(40000, 'a'));
  Fake().AddLine(std::string(40000, 'b'));
  auto session = StartedSession();
  session->SetBufferSize(65535);
  EXPECT_EQ(session->GetNextLine(), std::u16string(40000, u'a'));
  // Does not fit 32000 bytes: the fake cuts the answer as the server would not end it.
  session->SetBufferSize(32000);
  EXPECT_CLIENT_ERROR(session->GetNextLine(), ClientErrorCode::UnexpectedOutputValue);
  const auto queries = Calls("isc_service_query");
  ASSERT_EQ(queries.size(), 2u);
  EXPECT_EQ(queries[0].Detail("buffer_length"), "65535");
  EXPECT_EQ(queries[1].Detail("buffer_length"), "32000");
}

TEST_F(StatisticsTest, ChunksEndWithTruncatedOrEnd) {
  Fake().AddResponse(Unhex("3f02006162 02"));
  Fake().AddResponse(Unhex("3f 0000 01"));
  auto session = StartedSession();
  EXPECT_EQ(session->GetNextChunk(), "ab");
  EXPECT_FALSE(session->Eof());
  EXPECT_EQ(session->GetNextChunk(), "");
  EXPECT_TRUE(session->Eof());
  EXPECT_EQ(session->GetNextChunk(), "");
  const auto queries = Calls("isc_service_query");
  ASSERT_EQ(queries.size(), 2u);
  EXPECT_EQ(queries[0].Detail("request"), "3f");

  for (const char* bad : {"3f02006162 03", "3e02006162 01", "3f02006162 00"}) {
    SCOPED_TRACE(bad);
    Reset();
    Fake().AddResponse(Unhex(bad));
    auto other = StartedSession();
    EXPECT_CLIENT_ERROR(other->GetNextChunk(), ClientErrorCode::UnexpectedOutputValue);
    EXPECT_FALSE(other->Eof());
  }
}

TEST_F(StatisticsTest, ReadingNeedsAStartedActionAndAnAttachedSession) {
  auto session = NewSession();
  session->SetActive(true);
  EXPECT_CLIENT_ERROR(session->GetNextLine(), ClientErrorCode::QueryParamsInvalid);
  EXPECT_CLIENT_ERROR(session->GetNextChunk(), ClientErrorCode::QueryParamsInvalid);
  EXPECT_TRUE(Calls("isc_service_query").empty());

  // Detached after a start: the attached check stops the query before it is sent.
  session->SetDatabaseName(u"C:\\DB\\A.GDB");
  session->ServiceStart();
  session->SetActive(false);
  EXPECT_CLIENT_ERROR(session->GetNextLine(), ClientErrorCode::ServiceNotAttached);
  EXPECT_CLIENT_ERROR(session->IsServiceRunning(), ClientErrorCode::ServiceNotAttached);
  EXPECT_TRUE(Calls("isc_service_query").empty());
}

TEST_F(StatisticsTest, FailedQueryDropsTheSessionAndKeepsTheRunState) {
  Fake().AddLine("first ");
  Fake().AddQueryFailure({-902, 335544726, {"Error reading data from the connection."}});
  auto session = StartedSession();
  EXPECT_EQ(session->GetNextLine(), u"first ");
  try {
    session->GetNextLine();
    FAIL() << "the failed query did not raise";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.Message(), u"Error reading data from the connection");
    EXPECT_EQ(e.IBErrorCode(), 335544726);
  }
  EXPECT_FALSE(session->Active());
  EXPECT_FALSE(session->Eof());
  // The action is still known (no "Query Parameters" error), but the session is gone.
  EXPECT_CLIENT_ERROR(session->GetNextLine(), ClientErrorCode::ServiceNotAttached);
  session.reset();  // the handle was dropped: no detach
  EXPECT_EQ(Calls("isc_service_query").size(), 2u);
  EXPECT_TRUE(Calls("isc_service_detach").empty());
}

TEST_F(StatisticsTest, FailedStartDropsTheSession) {
  Fake().start_outcomes.push_back({-902, 335544344, {"Can't open database file C:\\DB\\A.GDB"}});
  auto session = NewSession();
  session->SetDatabaseName(u"C:\\DB\\A.GDB");
  session->SetActive(true);
  try {
    session->ServiceStart();
    FAIL() << "the failed start did not raise";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.Message(), u"Can't open database file C:\\DB\\A.GDB");
  }
  EXPECT_FALSE(session->Active());
  EXPECT_FALSE(session->Eof());
  EXPECT_CLIENT_ERROR(session->GetNextLine(), ClientErrorCode::ServiceNotAttached);
  session.reset();
  EXPECT_TRUE(Calls("isc_service_detach").empty());
}

TEST_F(StatisticsTest, IsServiceRunningAsksOnce) {
  for (const char* response : {"43 01000000", "43 00000000", "43 02000000", "3e 01000000"})
    Fake().AddResponse(Unhex(response));
  auto session = NewSession();
  session->SetActive(true);
  EXPECT_TRUE(session->IsServiceRunning());  // needs no start
  EXPECT_FALSE(session->IsServiceRunning());
  EXPECT_FALSE(session->IsServiceRunning());
  EXPECT_CLIENT_ERROR(session->IsServiceRunning(), ClientErrorCode::UnexpectedOutputValue);
  const auto queries = Calls("isc_service_query");
  ASSERT_EQ(queries.size(), 4u);
  EXPECT_EQ(queries[0].Detail("request"), "43");
}

TEST_F(StatisticsTest, BufferSizeStaysWithin4And65535) {
  auto session = NewSession();
  EXPECT_EQ(session->BufferSize(), 32000);
  for (int bad : {-1, 0, 3, 65536, 1 << 20}) {
    SCOPED_TRACE(bad);
    try {
      session->SetBufferSize(bad);
      ADD_FAILURE() << "accepted";
    } catch (const EIBClientError& e) {
      EXPECT_EQ(e.Message(), u"Buffer size out of range (" + ToU16(std::to_string(bad)) +
                                 u", allowed 4 to 65535 bytes)");
    }
    EXPECT_EQ(session->BufferSize(), 32000);
  }
  session->SetBufferSize(65535);
  EXPECT_EQ(session->BufferSize(), 65535);
  session->SetBufferSize(4);
  EXPECT_EQ(session->BufferSize(), 4);

  // The smallest buffer holds the end of the report, and nothing longer.
  Fake().AddResponse(Unhex("3e000001"));
  Fake().AddLine("abc ");
  session->SetDatabaseName(u"C:\\DB\\A.GDB");
  session->SetActive(true);
  session->ServiceStart();
  EXPECT_EQ(session->GetNextLine(), u"");
  EXPECT_TRUE(session->Eof());
  session->ServiceStart();
  EXPECT_CLIENT_ERROR(session->GetNextLine(), ClientErrorCode::UnexpectedOutputValue);
  session->SetActive(false);
  Reset();
  Fake().AddResponse(Unhex("43 01000000"));
  session->SetActive(true);
  EXPECT_CLIENT_ERROR(session->IsServiceRunning(), ClientErrorCode::UnexpectedOutputValue);
  for (const ServiceCall& query : Calls("isc_service_query"))
    EXPECT_EQ(query.Detail("buffer_length"), "4");
}

}  // namespace
