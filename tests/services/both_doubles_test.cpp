// The database half of the client library as both test doubles play it: each case is one
// script, run through the in-process fake and through the stand-in library loaded into this
// process, with the same client code. Both must give the same answer, and the calls the
// stand-in logs must be the calls the fake records, so that a test of either stands for both.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ibclient/errors.h"
#include "ibclient/gds_library.h"
#include "platform/text_encoding.h"
#include "services/database_attachment.h"
#include "services/engine_cache_facts.h"
#include "services/engine_pages.h"
#include "tests/support/double_script.h"
#include "tests/support/fake_client_library.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_output.h"

namespace {

const AttachmentTarget kTarget{u"127.0.0.1", u"/srv/db/main.fdb", u"SYSDBA", u"geheim"};

// What the client code saw of the engine's cache, or the error it raised.
std::string CacheFacts(DatabaseAttachment& attachment) {
  const EngineCacheFacts facts = AskEngineCacheFacts(attachment);
  std::string text = "buffers " + std::to_string(facts.page_buffers) + ", header " +
                     std::to_string(facts.header_buffers) + ", class " +
                     std::to_string(facts.db_class) + ", ods " + std::to_string(facts.ods_major) +
                     "." + std::to_string(facts.ods_minor) + ", page " +
                     std::to_string(facts.page_size);
  if (!facts.settings) return text + ", no settings";
  for (const EngineSetting& setting : *facts.settings)
    text += "; " + setting.name + " = " + setting.value +
            (setting.is_set ? " from " + setting.source : " by default");
  return text;
}

std::string LongItem(DatabaseAttachment& attachment) {
  const InfoAnswer answer = attachment.Info(std::string(1, isc_info_user_names));
  const std::string* value = answer.Find(isc_info_user_names);
  return value ? std::to_string(value->size()) + " bytes: " + value->substr(0, 8) : "none";
}

// Two pages with their contents, then one touched: the first bytes of each, or the error.
std::string PagesRead(DatabaseAttachment& attachment) {
  EnginePages pages(attachment, 4096);
  const uint32_t numbers[] = {3, 5};
  std::string text = "of " + std::to_string(pages.FilePages()) + ":";
  for (const std::string& page : pages.Read(numbers))
    text += " " + std::to_string(page.size()) + " " + Hex(page.substr(0, 2));
  pages.Touch(4);
  return text + ", touched";
}

struct Case {
  const char* name;
  std::string script;
  std::function<std::string(DatabaseAttachment&)> ask;
  std::string answer;
};

const Case kCases[] = {
    {"Firebird 3: the info items, and no RDB$CONFIG",
     "info 15 70 11 01 00\ninfo 61 00 00 00 00\ninfo 102 0e 00 00 00\ninfo 32 0c 00 00 00\n"
     "info 33 00 00 00 00\ninfo 14 00 20 00 00\nresult RDB$RELATIONS\ncolumns LONG\n",
     CacheFacts, "buffers 70000, header 0, class 14, ods 12.0, page 8192, no settings"},
    {"Firebird 4: its settings with NULL, booleans and text",
     "info 15 00 08 00 00\ninfo 32 0d 00 00 00\n"
     "result 'RDB$CONFIG'\ncolumns LONG\nrow 1\n"
     "result FROM RDB$CONFIG\ncolumns VARYING VARYING BOOLEAN VARYING\n"
     "row \"UseFileSystemCache\" \"true\" 1 \"/etc/firebird/4.0/databases.conf\"\n"
     "row \"FileSystemCacheThreshold\" \"65536\" 0 NULL\n",
     CacheFacts,
     "buffers 2048, header 0, class 0, ods 13.0, page 0; UseFileSystemCache = true from "
     "/etc/firebird/4.0/databases.conf; FileSystemCacheThreshold = 65536 by default"},
    {"the attachment refused",
     "attach-database fail -902 335544472\n"
     "message Your user name and password are not defined. Ask your database administrator to "
     "set up a Firebird login.\n",
     CacheFacts,
     "raised -902 335544472: Your user name and password are not defined. Ask your database "
     "administrator to set up a Firebird login"},
    {"the info call fails, and the attachment is given back",
     "database-info fail -902 335544721\n"
     "message Unable to complete network request to host \"127.0.0.1\".\n",
     CacheFacts, "raised -902 335544721: Unable to complete network request to host \"127.0.0.1\""},
    {"a fetch fails after the ones before it went through",
     "info 15 00 08 00 00\nresult 'RDB$CONFIG'\ncolumns LONG\nrow 1\n"
     "result FROM RDB$CONFIG\ncolumns VARYING VARYING BOOLEAN VARYING\n"
     "row \"ServerMode\" \"Super\" 1 \"/etc/firebird/4.0/firebird.conf\"\n"
     "fetch ok\nfetch ok\nfetch fail -902 335544726\nmessage Error reading data from the "
     "connection.\n",
     CacheFacts, "raised -902 335544726: Error reading data from the connection"},
    {"the settings may not be read",
     "info 15 00 08 00 00\nresult 'RDB$CONFIG'\ncolumns LONG\nrow 1\n"
     "result FROM RDB$CONFIG\nprepare fail -551 335544352\n"
     "message no permission for SELECT access to TABLE RDB$CONFIG\n",
     CacheFacts, "raised -551 335544352: no permission for SELECT access to TABLE RDB$CONFIG"},
    {"an answer longer than the first buffer is asked for again",
     "info 53 " + Hex("PAGE0001") + std::string(1184, '0') + "\n", LongItem, "600 bytes: PAGE0001"},
    {"pages by number, one of them only touched",
     "info 124 06 00 00 00\ninfo 125 02 00 00 00\npages 0 4 4096 0701\npages 5 5 4096 05\n",
     PagesRead, "of 8: 4096 0701 4096 0500, touched"},
    {"pages this user may not read",
     "info 124 06 00 00 00\ninfo 125 00 00 00 00\npages 0 5 4096\npages denied\n", PagesRead,
     "raised -999 335544788: "},
};

std::string Ask(const std::shared_ptr<IGDSLibrary>& library, const Case& c) {
  try {
    DatabaseAttachment attachment(library, kTarget);
    std::string answer = c.ask(attachment);
    attachment.Detach();
    return answer;
  } catch (const EIBError& e) {
    return "raised " + std::to_string(e.SQLCode()) + " " + std::to_string(e.IBErrorCode()) + ": " +
           ToNarrow(e.Message());
  }
}

// A call as "name key=value ...", keys in order; the fake's records and the stand-in's log
// lines in one form.
std::string CallLine(const std::string& name, const std::map<std::string, std::string>& arguments) {
  std::string line = name;
  for (const auto& [key, value] : arguments) line += " " + key + "=" + value;
  return line;
}

// The database calls of the stand-in's log: its own lines for the status-vector look-ups and
// isc_vax_integer, which the fake does not record, are left out.
std::vector<std::string> LoggedCalls(const std::string& log) {
  std::vector<std::string> calls;
  for (const std::string& line : SplitAt(log, "\n")) {
    const std::vector<std::string> words = SplitAt(line, " ");
    if (line.empty() || words[0] == "isc_vax_integer" || words[0] == "isc_sqlcode" ||
        words[0] == "isc_interprete")
      continue;
    std::map<std::string, std::string> arguments;
    for (size_t i = 1; i < words.size(); ++i) {
      const size_t equals = words[i].find('=');
      arguments[words[i].substr(0, equals)] = words[i].substr(equals + 1);
    }
    calls.push_back(CallLine(words[0], arguments));
  }
  return calls;
}

}  // namespace

TEST(BothDoubles, EachScriptGetsTheSameAnswersAndTheSameCallsFromTheFakeAndTheStandin) {
  // Each double lives through all the cases, so that its handle numbers go on alike.
  auto fake = std::make_shared<FakeClientLibrary>();
  auto standin = std::make_shared<TDynamicLibrary>(
      std::string(STANDIN_ROOT) + "/full/libfbclient.so.2", "/nonexistent/fbwarm/libibxml.so");
  standin->LoadIBLibrary();
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    fake->Reset();
    ApplyDoubleScript(c.script, c.name, *fake, *fake);
    const std::string fake_answer = Ask(fake, c);
    std::vector<std::string> fake_calls;
    for (const FakeCall& call : fake->calls)
      fake_calls.push_back(CallLine(call.name, call.arguments));

    ScopedTempDir dir;  // a script of its own: the stand-in reads a newly named file afresh
    WriteFileBytes(dir / "script", c.script);
    setenv("FBWARM_STANDIN_SCRIPT", (dir / "script").c_str(), 1);
    setenv("FBWARM_STANDIN_LOG", (dir / "log").c_str(), 1);
    const std::string standin_answer = Ask(standin, c);
    unsetenv("FBWARM_STANDIN_SCRIPT");
    unsetenv("FBWARM_STANDIN_LOG");

    EXPECT_EQ(fake_answer, c.answer);
    EXPECT_EQ(standin_answer, c.answer);
    ASSERT_FALSE(fake_calls.empty());
    EXPECT_EQ(fake_calls.front().rfind("isc_attach_database ", 0), 0u) << fake_calls.front();
    EXPECT_EQ(LoggedCalls(ReadFileBytes(dir / "log")), fake_calls);
  }
}
