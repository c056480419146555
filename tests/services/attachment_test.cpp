// The database attachment over the in-process fake of the client library: what reaches the
// library (connect string, DPB, TPB, info items), how answers become values, and that every
// handle is given back on every path.
#include <gtest/gtest.h>

#include "ibclient/errors.h"
#include "services/database_attachment.h"
#include "services/engine_cache_facts.h"
#include "tests/services/fake_client_fixture.h"

namespace {

const AttachmentTarget kTarget{u"dbhost/3051", u"/srv/db/main.fdb", u"SYSDBA", u"geheim"};

std::string Le32(uint32_t value) {
  return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
          static_cast<char>((value >> 16) & 0xFF), static_cast<char>(value >> 24)};
}

class AttachmentTest : public FakeClientTest {
 protected:
  std::unique_ptr<DatabaseAttachment> Attach() {
    return std::make_unique<DatabaseAttachment>(Library(), kTarget);
  }
  // The names of the calls that reached the fake, in order.
  std::vector<std::string> CallNames() const {
    std::vector<std::string> names;
    for (const FakeCall& call : Fake().calls) names.push_back(call.name);
    return names;
  }
  FakeClientLibrary& Fake() const { return *Library(); }
};

TEST_F(AttachmentTest, AttachesWithTheConnectStringAndDpbAndDetachesOnce) {
  {
    auto attachment = Attach();
    EXPECT_EQ(Fake().database_name, "dbhost/3051:/srv/db/main.fdb");
    EXPECT_EQ(Hex(Fake().dpb),
              "01"
              "1c06" +
                  Hex("SYSDBA") + "1d06" + Hex("geheim") + "3004" + Hex("UTF8"));
    attachment->Detach();
    attachment->Detach();  // a second detach has nothing to end
  }
  EXPECT_EQ(CallNames(), (std::vector<std::string>{"isc_attach_database", "isc_detach_database"}));

  Reset();
  { auto dropped = Attach(); }  // the destructor detaches
  EXPECT_EQ(CallNames(), (std::vector<std::string>{"isc_attach_database", "isc_detach_database"}));
}

TEST_F(AttachmentTest, ARefusedAttachRaisesTheServersWordsAndLeavesNothingToDetach) {
  Fake().attach_database_outcomes.push_back(
      {-902, 335544472, {"Your user name and password are not defined."}});
  try {
    Attach();
    FAIL() << "the attach did not raise";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.Message(), u"Your user name and password are not defined");
    EXPECT_EQ(e.SQLCode(), -902);
    EXPECT_EQ(e.IBErrorCode(), 335544472);
  }
  EXPECT_EQ(CallNames(), std::vector<std::string>{"isc_attach_database"});
}

TEST_F(AttachmentTest, InfoItemsBecomeNumbersAndUnknownOnesAreLeftOut) {
  Fake().info_values = {{isc_info_num_buffers, Le32(70000)},
                        {isc_info_db_class, Le32(14)},
                        {isc_info_page_size, std::string("\x00\x20", 2)},
                        {isc_info_ods_version, Le32(0xFFFFFFF0u)}};
  auto attachment = Attach();
  const InfoAnswer answer =
      attachment->Info(std::string{isc_info_num_buffers, isc_info_db_class, isc_info_page_size,
                                   isc_info_set_page_buffers, isc_info_ods_version});
  EXPECT_EQ(Fake().calls[1].arguments.at("items"), "0f660e3d2001");  // ends with isc_info_end
  EXPECT_EQ(answer.Integer(isc_info_num_buffers), 70000);
  EXPECT_EQ(answer.Integer(isc_info_db_class), 14);
  EXPECT_EQ(answer.Integer(isc_info_page_size), 8192);
  EXPECT_EQ(answer.Integer(isc_info_ods_version), 0xFFFFFFF0u);  // counts are unsigned
  EXPECT_EQ(answer.Find(isc_info_set_page_buffers), nullptr);
  EXPECT_EQ(answer.Integer(isc_info_set_page_buffers), std::nullopt);
}

TEST_F(AttachmentTest, ACutInfoAnswerIsAskedAgainWithALargerBuffer) {
  Fake().info_values = {{isc_info_user_names, std::string(600, 'p')}};
  auto attachment = Attach();
  const InfoAnswer answer = attachment->Info(std::string(1, isc_info_user_names));
  ASSERT_NE(answer.Find(isc_info_user_names), nullptr);
  EXPECT_EQ(*answer.Find(isc_info_user_names), std::string(600, 'p'));
  std::vector<std::string> lengths;
  for (const FakeCall& call : Fake().calls)
    if (call.name == "isc_database_info") lengths.push_back(call.arguments.at("buffer_length"));
  EXPECT_EQ(lengths, (std::vector<std::string>{"256", "512", "1024"}));
}

TEST_F(AttachmentTest, MalformedInfoAnswersRaise) {
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"no end", std::string("\x0f\x04\x00\x00\x08\x00\x00", 7)},
      {"value past the end", std::string("\x0f\x09\x00\x00\x08\x01", 6)},
      {"length cut", std::string("\x0f\x04", 2)},
      {"cut without a way to ask again", std::string("\x0f\x01\x00\x05\x02", 5)},
      {"all zero, as a library that did nothing leaves it", std::string(16, '\0')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_THROW(InfoAnswer::Parse(c.bytes, Fake()), EIBClientError);
  }
  bool cut = false;
  const InfoAnswer part = InfoAnswer::Parse(std::string("\x0f\x01\x00\x05\x02", 5), Fake(), &cut);
  EXPECT_TRUE(cut);
  EXPECT_EQ(part.Integer(isc_info_num_buffers), 5);
}

TEST_F(AttachmentTest, AQueryReturnsItsRowsInAReadOnlyTransactionAndGivesEverythingBack) {
  Fake().results.push_back({"FROM MON$DATABASE",
                            {{SQL_INT64, SQL_VARYING, SQL_TEXT, SQL_BOOLEAN, SQL_LONG, SQL_SHORT},
                             {{int64_t{2048}, std::string("/srv/db/main.fdb"), std::string("abc"),
                               int64_t{1}, int64_t{-7}, int64_t{3}},
                              {std::monostate(), std::monostate(), std::monostate(), int64_t{0},
                               int64_t{0}, int64_t{0}}}}});
  auto attachment = Attach();
  const std::vector<SqlRow> rows = attachment->Query("SELECT * FROM MON$DATABASE");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (SqlRow{int64_t{2048}, std::string("/srv/db/main.fdb"),
                             std::string("abc") + std::string(61, ' '), int64_t{1}, int64_t{-7},
                             int64_t{3}}));
  EXPECT_EQ(rows[1], (SqlRow{std::monostate(), std::monostate(), std::monostate(), int64_t{0},
                             int64_t{0}, int64_t{0}}));
  // isc_tpb_version3, read, read_committed, rec_version, nowait
  EXPECT_EQ(Hex(Fake().tpb), "03080f1107");
  EXPECT_EQ(Fake().open_statements, 0);
  EXPECT_EQ(Fake().open_transactions, 0);
  const std::vector<std::string> names = CallNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "isc_commit_transaction"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "isc_rollback_transaction"), 0);
}

TEST_F(AttachmentTest, WideResultsAreDescribedAgainWithRoomForEveryColumn) {
  ScriptedResult wide(std::vector<short>(12, SQL_INT64), {{}});
  for (int64_t i = 0; i < 12; ++i) wide.rows[0].push_back(i * 10);
  Fake().results.push_back({"WIDE", wide});
  auto attachment = Attach();
  const std::vector<SqlRow> rows = attachment->Query("SELECT WIDE");
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_EQ(rows[0].size(), 12u);
  EXPECT_EQ(rows[0][11], SqlValue(int64_t{110}));
  const std::vector<std::string> names = CallNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "isc_dsql_describe"), 1);
}

TEST_F(AttachmentTest, AFailingQueryRaisesAndRollsBackAndDropsItsStatement) {
  Fake().results.push_back({"DOUBLE", {{SQL_DOUBLE}, {{int64_t{1}}}}});
  Fake().results.push_back({"FETCH", {{SQL_INT64}, {{int64_t{1}}}}});
  struct Case {
    const char* what;
    const char* sql;
    bool server_error;
  } cases[] = {
      {"unknown table", "SELECT 1 FROM RDB$CONFIG", true},
      {"unsupported column type", "SELECT DOUBLE", false},
      {"failed fetch", "SELECT FETCH", true},
  };
  auto attachment = Attach();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fake().fetch_outcomes = {{-902, 335544721, {"Unable to complete network request"}}};
    if (c.server_error)
      EXPECT_THROW(attachment->Query(c.sql), EIBInterBaseError);
    else
      EXPECT_THROW(attachment->Query(c.sql), EIBClientError);
    EXPECT_EQ(Fake().open_statements, 0);
    EXPECT_EQ(Fake().open_transactions, 0);
  }
  const std::vector<std::string> names = CallNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "isc_rollback_transaction"), 3);
  EXPECT_EQ(std::count(names.begin(), names.end(), "isc_commit_transaction"), 0);
}

TEST_F(AttachmentTest, HasRelationAsksTheCatalogueWithAQuotedName) {
  Fake().results.push_back({"'RDB$CONFIG'", {{SQL_LONG}, {{int64_t{1}}}}});
  Fake().results.push_back({"RDB$RELATIONS", {{SQL_LONG}, {}}});
  auto attachment = Attach();
  EXPECT_TRUE(attachment->HasRelation("RDB$CONFIG"));
  EXPECT_FALSE(attachment->HasRelation("O'NEIL"));
  EXPECT_EQ(Fake().statements.back(),
            "SELECT 1 FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'O''NEIL'");
}

// What the engine tells about its cache: Firebird 3 has no RDB$CONFIG, Firebird 4 does, and a
// user who may not read it sees no rows there.
TEST_F(AttachmentTest, EngineCacheFactsComeFromInfoItemsAndTheConfigTableWhereThereIsOne) {
  const std::map<unsigned char, std::string> info = {
      {isc_info_num_buffers, Le32(2048)},    {isc_info_set_page_buffers, Le32(0)},
      {isc_info_db_class, Le32(14)},         {isc_info_ods_version, Le32(12)},
      {isc_info_ods_minor_version, Le32(0)}, {isc_info_page_size, Le32(8192)}};
  const ScriptedResult present{{SQL_LONG}, {{int64_t{1}}}};
  const ScriptedResult settings{{SQL_VARYING, SQL_VARYING, SQL_BOOLEAN, SQL_VARYING},
                                {{std::string("UseFileSystemCache"), std::string("false"),
                                  int64_t{1}, std::string("/etc/firebird/4.0/databases.conf")},
                                 {std::string("FileSystemCacheThreshold"), std::string("65536"),
                                  int64_t{0}, std::monostate()}}};
  {
    Fake().info_values = info;
    Fake().results.push_back({"RDB$RELATIONS", {{SQL_LONG}, {}}});
    auto attachment = Attach();
    const EngineCacheFacts facts = AskEngineCacheFacts(*attachment);
    EXPECT_EQ(facts.page_buffers, 2048u);
    EXPECT_EQ(facts.header_buffers, 0u);
    EXPECT_EQ(facts.db_class, 14);
    EXPECT_EQ(facts.ods_major, 12);
    EXPECT_EQ(facts.page_size, 8192u);
    EXPECT_FALSE(facts.settings.has_value());
  }
  {
    Reset();
    Fake().info_values = info;
    Fake().results.push_back({"'RDB$CONFIG'", present});
    Fake().results.push_back({"FROM RDB$CONFIG", settings});
    auto attachment = Attach();
    const EngineCacheFacts facts = AskEngineCacheFacts(*attachment);
    ASSERT_TRUE(facts.settings.has_value());
    const EngineSetting* use = facts.Setting("usefilesystemcache");
    ASSERT_NE(use, nullptr);
    EXPECT_EQ(use->value, "false");
    EXPECT_TRUE(use->is_set);
    EXPECT_EQ(use->source, "/etc/firebird/4.0/databases.conf");
    ASSERT_NE(facts.Setting("FileSystemCacheThreshold"), nullptr);
    EXPECT_FALSE(facts.Setting("FileSystemCacheThreshold")->is_set);
    EXPECT_EQ(facts.Setting("DefaultDbCachePages"), nullptr);
  }
  {
    Reset();
    Fake().info_values = info;
    Fake().results.push_back({"'RDB$CONFIG'", present});
    Fake().results.push_back({"FROM RDB$CONFIG", ScriptedResult(settings.types)});
    auto attachment = Attach();
    EXPECT_FALSE(AskEngineCacheFacts(*attachment).settings.has_value());
  }
  {
    Reset();
    Fake().info_values = info;
    Fake().info_values.erase(isc_info_num_buffers);
    auto attachment = Attach();
    EXPECT_THROW(AskEngineCacheFacts(*attachment), EIBClientError);
  }
}

}  // namespace
