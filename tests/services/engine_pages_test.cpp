// What the attachment asks the engine for the server-cache step, over the in-process fake of
// the client library: pages by number (the request's bytes, the answer buffer that the engine's
// rule allows, refusals and reads past the end), whether the cache outlives the attachment,
// counters, and the names behind relation and index ids.
#include "services/engine_pages.h"

#include <gtest/gtest.h>

#include "ibclient/errors.h"
#include "services/cache_keeping.h"
#include "services/database_attachment.h"
#include "services/database_catalogue.h"
#include "services/page_counters.h"
#include "tests/services/fake_client_fixture.h"

namespace {

const AttachmentTarget kTarget{u"dbhost", u"/srv/db/main.fdb", u"SYSDBA", u"geheim"};

std::string Le32(uint32_t value) {
  return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
          static_cast<char>((value >> 16) & 0xFF), static_cast<char>(value >> 24)};
}

// A page as the fake hands it out: its number in the first bytes, then filler.
std::string Page(uint32_t number, uint32_t page_size) {
  std::string page = Le32(number);
  page.resize(page_size, static_cast<char>('a' + number % 26));
  return page;
}

class EnginePagesTest : public FakeClientTest {
 protected:
  // A database of file_pages pages of page_size bytes, used_pages of them in use, every page
  // readable.
  void MakeDatabase(uint32_t page_size, uint32_t file_pages, uint32_t used_pages) {
    Fake().info_values[fb_info_pages_used] = Le32(used_pages);
    Fake().info_values[fb_info_pages_free] = Le32(file_pages - used_pages);
    for (uint32_t page = 0; page < file_pages; ++page) Fake().pages[page] = Page(page, page_size);
  }
  std::unique_ptr<DatabaseAttachment> Attach() {
    return std::make_unique<DatabaseAttachment>(Library(), kTarget);
  }
  std::vector<std::string> InfoBufferLengths() const {
    std::vector<std::string> lengths;
    for (const ServiceCall& call : Calls("isc_database_info"))
      lengths.push_back(call.Detail("buffer_length"));
    return lengths;
  }
};

// The engine writes an item only when it and one byte more fit before the buffer's end, and
// Firebird 4's remote layers add six bytes when the request holds the byte 137 anywhere (here in
// the page number 0x89); the fake follows both rules, so a buffer one byte short of what Read
// asks for is cut.
TEST_F(EnginePagesTest, AReadCarriesAsManyPagesAsTheLargestAnswerBufferHolds) {
  struct Case {
    uint32_t page_size;
    size_t per_read;
    int buffer_length;
  } cases[] = {
      {4096, 7, 7 * 4099 + 6},
      {8192, 3, 3 * 8195 + 6},
      {16384, 1, 16387 + 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page_size);
    Reset();
    MakeDatabase(c.page_size, 200, 200);
    auto attachment = Attach();
    EnginePages pages(*attachment, c.page_size);
    ASSERT_EQ(pages.PagesPerRead(), c.per_read);
    std::vector<uint32_t> wanted;
    for (size_t i = 0; i < c.per_read; ++i) wanted.push_back(static_cast<uint32_t>(0x89 - 2 * i));
    const std::vector<std::string> contents = pages.Read(wanted);
    ASSERT_EQ(contents.size(), wanted.size());
    for (size_t i = 0; i < wanted.size(); ++i)
      EXPECT_EQ(contents[i], Page(wanted[i], c.page_size)) << "page " << wanted[i];
    EXPECT_EQ(Fake().pages_asked, wanted);
    EXPECT_EQ(InfoBufferLengths().back(), std::to_string(c.buffer_length));
    EXPECT_LE(c.buffer_length, 32767);
    // The same pages with one byte less are cut by the engine's rule: the length is the least.
    bool cut = false;
    std::string request;
    for (uint32_t page : wanted) request += std::string("\x71\x04\x00", 3) + Le32(page);
    attachment->InfoOnce(request, static_cast<size_t>(c.buffer_length - 1), &cut);
    EXPECT_TRUE(cut);
  }
  // Pages of 32 KiB never fit the buffer of the info call: only Touch can bring them in.
  Reset();
  MakeDatabase(32768, 4, 4);
  auto attachment = Attach();
  EnginePages pages(*attachment, 32768);
  EXPECT_EQ(pages.PagesPerRead(), 0u);
  const uint32_t one[] = {1};
  EXPECT_THROW(pages.Read(one), EIBClientError);
  EXPECT_NO_THROW(pages.Touch(3));
  EXPECT_EQ(Fake().pages_asked, std::vector<uint32_t>{3});
}

TEST_F(EnginePagesTest, TouchAsksForOnePageWithABufferTooSmallForIt) {
  Fake().info_values[fb_info_pages_used] = Le32(290000);
  Fake().info_values[fb_info_pages_free] = Le32(10000);
  Fake().pages[299999] = Page(299999, 8192);
  auto attachment = Attach();
  EnginePages pages(*attachment, 8192);
  EXPECT_EQ(pages.FilePages(), 300000u);
  EXPECT_EQ(pages.UsedPages(), 290000u);
  pages.Touch(299999);
  const std::vector<ServiceCall> info = Calls("isc_database_info");
  ASSERT_EQ(info.size(), 2u);  // the page counts, then the touch
  EXPECT_EQ(info[1].Detail("items"), "710400" + Hex(Le32(299999)) + "01");
  EXPECT_EQ(info[1].Detail("buffer_length"), "16");
  // A server that sends the page back in a few bytes did not fetch it as asked.
  Fake().pages[7] = "tiny";
  EXPECT_THROW(pages.Touch(7), EIBClientError);
}

TEST_F(EnginePagesTest, AUserWithoutTheRightIsToldApartFromOtherFailures) {
  MakeDatabase(8192, 10, 10);
  auto attachment = Attach();
  EnginePages pages(*attachment, 8192);
  EXPECT_TRUE(pages.Allowed());
  EXPECT_EQ(Fake().pages_asked, std::vector<uint32_t>{0});  // the header page

  Fake().pages_denied = true;
  EXPECT_FALSE(pages.Allowed());
  const uint32_t some[] = {1, 2};
  for (const char* what : {"read", "touch"}) {
    SCOPED_TRACE(what);
    try {
      if (std::string(what) == "read")
        pages.Read(some);
      else
        pages.Touch(1);
      ADD_FAILURE() << "a refused page did not raise";
    } catch (const EIBInterBaseError& e) {
      EXPECT_EQ(e.IBErrorCode(), isc_adm_task_denied);
    }
  }

  // Anything else the server says is not a refusal and travels on.
  Fake().pages_denied = false;
  Fake().pages.erase(0);
  try {
    pages.Allowed();
    ADD_FAILURE() << "a failed read of the header page did not raise";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.IBErrorCode(), isc_io_error);
    EXPECT_NE(e.Message().find(u"File size is less than expected"), std::u16string::npos);
  }
}

// Past the end of the file the server logs an I/O error for every page asked, and a page number
// of 2^31 or more stops the database for every attachment: such numbers never leave the client.
TEST_F(EnginePagesTest, PagesPastTheEndOfTheFileAreNeverSent) {
  MakeDatabase(8192, 1414, 1400);
  auto attachment = Attach();
  EnginePages pages(*attachment, 8192);
  const size_t calls_before = Calls("isc_database_info").size();
  for (uint32_t page : {1414u, 100000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    SCOPED_TRACE(page);
    const uint32_t one[] = {page};
    const uint32_t mixed[] = {3, page};
    EXPECT_THROW(pages.Touch(page), EIBClientError);
    EXPECT_THROW(pages.Read(one), EIBClientError);
    EXPECT_THROW(pages.Read(mixed), EIBClientError);
  }
  EXPECT_EQ(Calls("isc_database_info").size(), calls_before);
  EXPECT_TRUE(Fake().pages_asked.empty());
  EXPECT_NO_THROW(pages.Touch(1413));
}

TEST_F(EnginePagesTest, ReadsBeyondWhatOneRequestHoldsOrMalformedAnswersRaise) {
  MakeDatabase(8192, 10, 10);
  auto attachment = Attach();
  EnginePages pages(*attachment, 8192);
  const uint32_t four[] = {1, 2, 3, 4};
  EXPECT_THROW(pages.Read(four), EIBClientError);
  EXPECT_TRUE(Fake().pages_asked.empty());
  EXPECT_TRUE(pages.Read(std::span<const uint32_t>()).empty());

  Fake().pages[2] = std::string(4096, 'x');  // not a page of this size
  const uint32_t two[] = {1, 2};
  EXPECT_THROW(pages.Read(two), EIBClientError);

  // Without both page counts the end of the file is unknown: nothing is read.
  Reset();
  Fake().info_values[fb_info_pages_used] = Le32(10);
  auto other = Attach();
  EXPECT_THROW(EnginePages(*other, 8192), EIBClientError);
}

TEST_F(EnginePagesTest, TheCacheIsKeptWhenTheDatabaseLingersOrSomeoneElseHoldsIt) {
  struct Case {
    ScriptedValue linger;
    int64_t others;
    std::optional<int64_t> linger_seconds;
    bool kept;
  } cases[] = {
      {std::monostate(), 0, std::nullopt, false},  // never set
      {int64_t{0}, 0, 0, false},
      {int64_t{900}, 0, 900, true},
      {std::monostate(), 2, std::nullopt, true},
      {int64_t{0}, 1, 0, true},
  };
  for (const Case& c : cases) {
    Reset();
    Fake().results.push_back({"RDB$LINGER", {{SQL_LONG}, {{c.linger}}}});
    Fake().results.push_back({"MON$ATTACHMENTS", {{SQL_INT64}, {{c.others}}}});
    auto attachment = Attach();
    const CacheKeeping keeping = AskCacheKeeping(*attachment);
    EXPECT_EQ(keeping.linger_seconds, c.linger_seconds);
    EXPECT_EQ(keeping.other_attachments, c.others);
    EXPECT_EQ(keeping.Kept(), c.kept);
  }
  // A linger that is not a number is not taken for "never set".
  Reset();
  Fake().results.push_back({"RDB$LINGER", {{SQL_VARYING}, {{std::string("900")}}}});
  Fake().results.push_back({"MON$ATTACHMENTS", {{SQL_INT64}, {{int64_t{0}}}}});
  auto attachment = Attach();
  EXPECT_THROW(AskCacheKeeping(*attachment), EIBClientError);
}

TEST_F(EnginePagesTest, CountersPastThirtyTwoBitsAreRead) {
  // isc_info_fetches of a server that has run for long: the engine sends 8 bytes.
  Fake().info_values[isc_info_reads] = Le32(123456);
  Fake().info_values[isc_info_fetches] = Le32(0x2345) + Le32(0x1);  // 0x1'00002345
  auto attachment = Attach();
  const PageCounters database = AskDatabasePageCounters(*attachment);
  EXPECT_EQ(database.reads, 123456);
  EXPECT_EQ(database.fetches, 0x100002345LL);

  Fake().results.push_back({"MON$IO_STATS", {{SQL_INT64, SQL_INT64}, {{int64_t{7}, int64_t{99}}}}});
  const PageCounters own = AskOwnPageCounters(*attachment);
  EXPECT_EQ(own.reads, 7);
  EXPECT_EQ(own.fetches, 99);
}

TEST_F(EnginePagesTest, IndexesAreNamedByTheIdTheirPagesCarry) {
  Fake().results.push_back(
      {"FROM RDB$RELATIONS WHERE",
       {{SQL_SHORT, SQL_TEXT},
        {{int64_t{128}, std::string("ORDERS")}, {int64_t{0}, std::string("RDB$PAGES")}}}});
  Fake().results.push_back({"FROM RDB$INDICES",
                            {{SQL_SHORT, SQL_SHORT, SQL_TEXT},
                             {{int64_t{128}, int64_t{1}, std::string("PK_ORDERS")},
                              {int64_t{128}, int64_t{2}, std::string("IX_ORDERS_CUSTOMER")}}}});
  Fake().results.push_back({"FROM RDB$PAGES",
                            {{SQL_SHORT, SQL_LONG, SQL_LONG, SQL_SHORT},
                             {{int64_t{128}, int64_t{190}, int64_t{0}, int64_t{4}},
                              {int64_t{128}, int64_t{191}, int64_t{0}, int64_t{6}}}}});
  auto attachment = Attach();
  const DatabaseCatalogue catalogue = AskDatabaseCatalogue(*attachment);
  EXPECT_EQ(catalogue.Table(128), "ORDERS");  // CHAR columns come padded; the blanks go
  EXPECT_EQ(catalogue.Table(0), "RDB$PAGES");
  EXPECT_EQ(catalogue.Table(129), "");
  EXPECT_EQ(catalogue.Index(128, 0), "PK_ORDERS");
  EXPECT_EQ(catalogue.Index(128, 1), "IX_ORDERS_CUSTOMER");
  EXPECT_EQ(catalogue.Index(128, 2), "");
  ASSERT_EQ(catalogue.listed_pages.size(), 2u);
  EXPECT_EQ(catalogue.listed_pages[1].page, 191u);
  EXPECT_EQ(catalogue.listed_pages[1].type, 6);
}

}  // namespace
