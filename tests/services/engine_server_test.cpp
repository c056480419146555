// What the attachment asks the engine, against every local Firebird server through the real
// client library, on a copy of the small database of the test's own: pages by number come back
// as the file holds them and are named by the catalogue, touched pages are found in the engine's
// cache afterwards, linger and other attachments as the server reports them, and who may read
// pages.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>

#include "base/text.h"
#include "ibclient/errors.h"
#include "services/cache_keeping.h"
#include "services/database_attachment.h"
#include "services/database_catalogue.h"
#include "services/engine_cache_facts.h"
#include "services/engine_pages.h"
#include "services/page_counters.h"
#include "tests/services/real_client.h"
#include "tests/support/scratch_database.h"

namespace {

constexpr unsigned char kPointerPage = 4, kDataPage = 5, kIndexRootPage = 6, kBtreePage = 7;

uint16_t Le16(const std::string& page, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(page[at]) |
                               static_cast<unsigned char>(page[at + 1]) << 8);
}

// The relation id a page carries, where its type has one.
int RelationOf(const std::string& page) {
  switch (static_cast<unsigned char>(page[0])) {
    case kPointerPage:
      return Le16(page, 26);
    case kDataPage:
      return Le16(page, 20);
    case kIndexRootPage:
      return Le16(page, 16);
    case kBtreePage:
      return Le16(page, 28);
    default:
      return -1;
  }
}

class EngineServerTest : public ::testing::TestWithParam<FirebirdServer> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_SERVER(GetParam());
    if (!RealClientLibrary()) GTEST_SKIP() << "the Firebird client library was not found";
    scratch_ = std::make_unique<ScratchDatabase>(GetParam());
    ASSERT_FALSE(scratch_->Path().empty()) << "no copy of the small database";
  }

  std::unique_ptr<DatabaseAttachment> Attach(const std::string& user = "SYSDBA",
                                             const std::string& password = "") {
    const FirebirdServer& server = GetParam();
    return std::make_unique<DatabaseAttachment>(
        RealClientLibrary(),
        AttachmentTarget{ToU16("127.0.0.1/" + std::to_string(server.port)), ToU16(scratch_->Path()),
                         ToU16(user),
                         ToU16(password.empty() ? FirebirdPassword(server) : password)});
  }

  std::unique_ptr<ScratchDatabase> scratch_;
};

TEST_P(EngineServerTest, PagesComeBackAsTheFileHoldsThemAndTheCatalogueNamesThem) {
  auto attachment = Attach();
  const EngineCacheFacts facts = AskEngineCacheFacts(*attachment);
  EnginePages pages(*attachment, facts.page_size);
  struct stat file;
  ASSERT_EQ(stat(scratch_->Path().c_str(), &file), 0);
  EXPECT_EQ(pages.FilePages(), static_cast<uint64_t>(file.st_size) / facts.page_size);
  EXPECT_LE(pages.UsedPages(), pages.FilePages());
  EXPECT_GT(pages.UsedPages(), pages.FilePages() / 2);
  ASSERT_EQ(pages.PagesPerRead(), 3u);  // the standard databases have pages of 8 KiB

  // Every page, three to a request.
  std::vector<std::string> contents;
  for (uint32_t first = 0; first < pages.FilePages(); first += 3) {
    std::vector<uint32_t> group;
    for (uint32_t page = first; page < std::min(first + 3, pages.FilePages()); ++page)
      group.push_back(page);
    for (std::string& page : pages.Read(group)) contents.push_back(std::move(page));
  }
  ASSERT_EQ(contents.size(), pages.FilePages());

  // Pages that reading leaves alone are the file's bytes.
  std::ifstream in(scratch_->Path(), std::ios::binary);
  std::string bytes(facts.page_size, '\0');
  size_t compared = 0;
  for (uint32_t page = 0; page < contents.size(); ++page) {
    const auto type = static_cast<unsigned char>(contents[page][0]);
    if (type != kPointerPage && type != kDataPage && type != kIndexRootPage && type != kBtreePage)
      continue;
    in.seekg(static_cast<std::streamoff>(page) * facts.page_size);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(contents[page] == bytes) << "page " << page;
    ++compared;
  }
  EXPECT_GT(compared, contents.size() / 2);

  // Every table's and index's pages carry ids that the catalogue names.
  const DatabaseCatalogue catalogue = AskDatabaseCatalogue(*attachment);
  std::set<std::string> tables_seen, indexes_seen;
  for (uint32_t page = 0; page < contents.size(); ++page) {
    const std::string& content = contents[page];
    const auto type = static_cast<unsigned char>(content[0]);
    if (type == kDataPage) {
      EXPECT_NE(catalogue.Table(RelationOf(content)), "") << "data page " << page;
      tables_seen.insert(catalogue.Table(RelationOf(content)));
    } else if (type == kBtreePage) {
      const std::string name =
          catalogue.Index(RelationOf(content), static_cast<unsigned char>(content[32]));
      EXPECT_NE(name, "") << "b-tree page " << page;
      indexes_seen.insert(name);
    }
  }
  for (const char* table : {"CUSTOMERS", "ORDERS", "DOCUMENTS", "EVENTS"})
    EXPECT_TRUE(tables_seen.count(table)) << table;
  for (const auto& [key, name] : catalogue.indexes) {
    const bool system = catalogue.Table(key.first).rfind("RDB$", 0) == 0;
    EXPECT_TRUE(system || indexes_seen.count(name)) << "no b-tree page of " << name;
  }

  // The pointer and index root pages that RDB$PAGES lists are of their type and table.
  size_t listed = 0;
  for (const DatabaseCatalogue::ListedPage& p : catalogue.listed_pages) {
    if (p.type != kPointerPage && p.type != kIndexRootPage) continue;
    ASSERT_LT(p.page, contents.size());
    EXPECT_EQ(static_cast<unsigned char>(contents[p.page][0]), p.type) << "page " << p.page;
    EXPECT_EQ(RelationOf(contents[p.page]), p.relation_id) << "page " << p.page;
    ++listed;
  }
  EXPECT_GT(listed, 8u);  // four tables of the test's own, and the system tables
}

TEST_P(EngineServerTest, TouchedPagesAreFoundInTheEnginesCacheAfterwards) {
  // Nobody else has this copy open: its pages are read from the file, once. The small database
  // fits the server's default cache (2048 pages).
  auto attachment = Attach();
  const EngineCacheFacts facts = AskEngineCacheFacts(*attachment);
  EnginePages pages(*attachment, facts.page_size);
  ASSERT_LT(pages.FilePages(), facts.page_buffers);
  const PageCounters database_before = AskDatabasePageCounters(*attachment);
  const PageCounters before = AskOwnPageCounters(*attachment);
  for (uint32_t page = 0; page < pages.FilePages(); ++page) pages.Touch(page);
  const PageCounters touched = AskOwnPageCounters(*attachment);
  const PageCounters database_touched = AskDatabasePageCounters(*attachment);
  for (uint32_t page = 0; page < pages.FilePages(); ++page) pages.Touch(page);
  const PageCounters again = AskOwnPageCounters(*attachment);

  const int64_t file_pages = pages.FilePages();
  // The first pass read what the attach had not read yet, each page once.
  EXPECT_GT(touched.reads - before.reads, file_pages * 9 / 10);
  EXPECT_LE(touched.reads - before.reads, file_pages);
  EXPECT_GE(touched.fetches - before.fetches, file_pages);
  // The second pass found every page in the cache.
  EXPECT_EQ(again.reads, touched.reads);
  EXPECT_GE(again.fetches - touched.fetches, file_pages);
  // The database's counters hold this attachment's.
  EXPECT_GE(database_touched.reads - database_before.reads, touched.reads - before.reads);
}

TEST_P(EngineServerTest, LingerAndOtherAttachmentsAreWhatTheServerSays) {
  auto attachment = Attach();
  EXPECT_TRUE(AskEngineCacheFacts(*attachment).SharedCache());  // Debian's SuperServer
  struct Case {
    const char* statement;
    std::optional<int64_t> linger;
  } cases[] = {
      {nullptr, std::nullopt},  // never set
      {"ALTER DATABASE SET LINGER TO 30;", 30},
      {"ALTER DATABASE SET LINGER TO 0;", 0},
      {"ALTER DATABASE SET LINGER TO 45;", 45},
      {"ALTER DATABASE DROP LINGER;", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement ? c.statement : "never set");
    if (c.statement) {
      ASSERT_TRUE(Isql(GetParam(), scratch_->Path(), c.statement));
    }
    const CacheKeeping keeping = AskCacheKeeping(*attachment);
    EXPECT_EQ(keeping.linger_seconds, c.linger);
    EXPECT_EQ(keeping.other_attachments, 0);
    EXPECT_EQ(keeping.Kept(), c.linger.value_or(0) > 0);
  }
  {
    auto other = Attach();
    auto third = Attach();
    EXPECT_EQ(AskCacheKeeping(*attachment).other_attachments, 2);
    EXPECT_TRUE(AskCacheKeeping(*attachment).Kept());
  }
  EXPECT_EQ(AskCacheKeeping(*attachment).other_attachments, 0);
}

// A user of the server, made for the test and dropped afterwards, with the databases it made.
class ScratchUser {
 public:
  ScratchUser(const FirebirdServer& server, const std::string& any_database,
              const std::string& name)
      : server_(server), database_(any_database), name_(name) {
    made_ = Isql(server_, database_,
                 "CREATE USER " + name_ + " PASSWORD '" + Password() +
                     "';\nGRANT CREATE DATABASE " + "TO USER " + name_ + ";\nCOMMIT;");
  }
  ~ScratchUser() {
    for (const std::string& owned : owned_) Isql(server_, owned, "DROP DATABASE;");
    Isql(server_, database_,
         "REVOKE CREATE DATABASE FROM USER " + name_ + ";\nDROP USER " + name_ + ";\nCOMMIT;");
  }
  bool Made() const { return made_; }
  const std::string& Name() const { return name_; }
  static std::string Password() { return "pw22"; }
  // Makes a database owned by this user.
  bool CreateDatabase(const std::string& path) {
    if (!FirebirdShell("fb_tool isql-fb -q -bail <<'SQL'\nCREATE DATABASE '" +
                           server_.Connect(path) + "' USER '" + name_ + "' PASSWORD '" +
                           Password() + "';\nSQL",
                       server_))
      return false;
    owned_.push_back(path);
    return true;
  }

 private:
  FirebirdServer server_;
  std::string database_, name_;
  std::vector<std::string> owned_;
  bool made_ = false;
};

TEST_P(EngineServerTest, PagesAreForSysdbaTheOwnerAndOnFirebird4WhoeverHasTheSystemPrivilege) {
  const FirebirdServer& server = GetParam();
  const std::string suffix = std::to_string(getpid());
  ScratchUser plain(server, scratch_->Path(), "FBWARM_PLAIN_" + suffix);
  ScratchUser owner(server, scratch_->Path(), "FBWARM_OWNER_" + suffix);
  ScratchUser privileged(server, scratch_->Path(), "FBWARM_RAW_" + suffix);
  ASSERT_TRUE(plain.Made() && owner.Made() && privileged.Made());
  const std::string owned = scratch_->Directory() + "/owned.fdb";
  ASSERT_TRUE(owner.CreateDatabase(owned));
  if (server.version >= 4) {
    ASSERT_TRUE(Isql(server, scratch_->Path(),
                     "CREATE ROLE RAW_READER SET SYSTEM PRIVILEGES TO READ_RAW_PAGES;\n"
                     "GRANT DEFAULT RAW_READER TO USER " +
                         privileged.Name() + ";\nCOMMIT;"));
  }

  struct Case {
    const char* what;
    std::string user;
    std::string database;
    bool allowed;
  } cases[] = {
      {"SYSDBA", "SYSDBA", scratch_->Path(), true},
      {"a user without rights", plain.Name(), scratch_->Path(), false},
      {"the owner", owner.Name(), owned, true},
      {"a user whose default role may read raw pages", privileged.Name(), scratch_->Path(),
       server.version >= 4},
  };
  // SYSDBA holds the database open meanwhile: who sees that attachment?
  auto sysdba = Attach();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string password = c.user == "SYSDBA" ? "" : ScratchUser::Password();
    DatabaseAttachment attachment(
        RealClientLibrary(),
        AttachmentTarget{ToU16("127.0.0.1/" + std::to_string(server.port)), ToU16(c.database),
                         ToU16(c.user),
                         ToU16(password.empty() ? FirebirdPassword(server) : password)});
    EnginePages pages(attachment, AskEngineCacheFacts(attachment).page_size);
    EXPECT_EQ(pages.Allowed(), c.allowed);
    const uint32_t header[] = {0};
    if (c.allowed) {
      EXPECT_EQ(pages.Read(header).at(0).at(0), 1);  // the header page
    } else {
      try {
        pages.Read(header);
        ADD_FAILURE() << "a user without the right read a page";
      } catch (const EIBInterBaseError& e) {
        EXPECT_EQ(e.IBErrorCode(), isc_adm_task_denied);
        EXPECT_NE(e.Message().find(u"Unable to perform operation"), std::u16string::npos)
            << Utf16ToUtf8(e.Message());
      }
    }
    // Only those who may read pages see SYSDBA's attachment (on Firebird 4, seeing others takes
    // MONITOR_ANY_ATTACHMENT, which the raw-page role lacks).
    if (c.database == scratch_->Path()) {
      EXPECT_EQ(AskCacheKeeping(attachment).other_attachments, c.user == "SYSDBA" ? 1 : 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryServer, EngineServerTest, ::testing::ValuesIn(FirebirdServers()),
                         [](const auto& info) { return info.param.Name(); });

}  // namespace
