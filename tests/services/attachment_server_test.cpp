// The database attachment against the local Firebird server, through the real client library:
// what the engine tells about its cache agrees with its monitoring tables, a table that this
// server version lacks is told apart from a failing query, and refusals carry its words.
#include <gtest/gtest.h>

#include "base/text.h"
#include "ibclient/errors.h"
#include "services/database_attachment.h"
#include "services/engine_cache_facts.h"
#include "tests/services/real_client.h"

namespace {

class AttachmentServerTest : public RealClientTest {
 protected:
  std::unique_ptr<DatabaseAttachment> Attach(const std::string& database,
                                             const std::string& password) {
    return std::make_unique<DatabaseAttachment>(
        RealClientLibrary(),
        AttachmentTarget{u"127.0.0.1", ToU16(database), u"SYSDBA", ToU16(password)});
  }
};

int64_t Number(const SqlValue& value) {
  EXPECT_TRUE(std::holds_alternative<int64_t>(value));
  return std::holds_alternative<int64_t>(value) ? std::get<int64_t>(value) : -1;
}

TEST_F(AttachmentServerTest, TheEngineTellsItsCacheAsItsMonitoringTableShowsIt) {
  auto attachment = Attach(StandardDatabase("small"), FirebirdPassword());
  const EngineCacheFacts facts = AskEngineCacheFacts(*attachment);
  const std::vector<SqlRow> rows = attachment->Query(
      "SELECT MON$PAGE_BUFFERS, MON$PAGE_SIZE, MON$ODS_MAJOR, MON$ODS_MINOR FROM MON$DATABASE");
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_EQ(rows[0].size(), 4u);
  EXPECT_EQ(facts.page_buffers, static_cast<uint64_t>(Number(rows[0][0])));
  EXPECT_EQ(facts.page_size, static_cast<uint64_t>(Number(rows[0][1])));
  EXPECT_EQ(facts.ods_major, Number(rows[0][2]));
  EXPECT_EQ(facts.ods_minor, Number(rows[0][3]));
  // The standard databases leave the page buffers to the server: the header says 0, the
  // server's default is in effect.
  EXPECT_EQ(facts.header_buffers, 0u);
  EXPECT_GT(facts.page_buffers, 0u);
  EXPECT_EQ(facts.db_class, isc_info_db_class_server_access);  // Debian's SuperServer
}

TEST_F(AttachmentServerTest, ATableThisServerLacksIsToldApartFromAFailingQuery) {
  auto attachment = Attach(StandardDatabase("small"), FirebirdPassword());
  const EngineCacheFacts facts = AskEngineCacheFacts(*attachment);
  EXPECT_TRUE(attachment->HasRelation("RDB$DATABASE"));
  const std::vector<SqlRow> linger = attachment->Query("SELECT RDB$LINGER FROM RDB$DATABASE");
  ASSERT_EQ(linger.size(), 1u);
  if (facts.ods_major >= 13) {  // Firebird 4 and later
    EXPECT_TRUE(attachment->HasRelation("RDB$CONFIG"));
    EXPECT_TRUE(facts.settings.has_value());
    return;
  }
  EXPECT_FALSE(attachment->HasRelation("RDB$CONFIG"));
  EXPECT_FALSE(facts.settings.has_value());
  try {
    attachment->Query("SELECT RDB$CONFIG_NAME FROM RDB$CONFIG");
    FAIL() << "a query of a table the server lacks did not raise";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.SQLCode(), -204);
    EXPECT_NE(e.Message().find(u"RDB$CONFIG"), std::u16string::npos) << Utf16ToUtf8(e.Message());
  }
  // The attachment is still usable after the failed statement.
  EXPECT_EQ(attachment->Query("SELECT 1 FROM RDB$DATABASE").size(), 1u);
}

TEST_F(AttachmentServerTest, RefusalsRaiseWithTheServersWords) {
  struct Case {
    const char* what;
    std::string database;
    std::string password;
    std::u16string words;
  } cases[] = {
      {"wrong password", StandardDatabase("small"), "wrong" + FirebirdPassword(),
       u"Your user name and password are not defined"},
      {"missing file", "/var/lib/fbwarm/no-such-attachment.fdb", FirebirdPassword(),
       u"/var/lib/fbwarm/no-such-attachment.fdb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      Attach(c.database, c.password);
      ADD_FAILURE() << "the attach did not raise";
    } catch (const EIBInterBaseError& e) {
      EXPECT_NE(e.Message().find(c.words), std::u16string::npos) << Utf16ToUtf8(e.Message());
    }
  }
}

}  // namespace
