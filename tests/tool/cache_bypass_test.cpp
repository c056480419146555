// Reading the server's cache settings: numbers as firebird.conf writes them, the entry of one
// database in databases.conf, the header line of the report, and which servers are local.
#include "tool/cache_bypass.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

TEST(CacheBypass, ConfigNumbersTakeBinaryUnitsAndRejectAnythingElse) {
  struct Case {
    const char* text;
    std::optional<uint64_t> value;
  } cases[] = {
      {"2048", 2048},
      {" 64K ", 65536},
      {"64k", 65536},
      {"1M", 1048576},
      {"2G", 2147483648},
      {"0", 0},
      {"", std::nullopt},
      {"K", std::nullopt},
      {"64KB", std::nullopt},
      {"-1", std::nullopt},
      {"12 K", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"17179869184G", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseConfigNumber(c.text), c.value);
  }
}

TEST(CacheBypass, FirebirdConfSettingsOverrideTheDefaultsAndCommentsDoNot) {
  ServerCacheConfig config;
  ApplyConfigText(
      "#FileSystemCacheThreshold = 1\n"
      "FileSystemCacheThreshold = 32K   # half the default\n"
      "DefaultDbCachePages=4096\r\n"
      "DefaultDbCachePages = lots\n",
      config);
  EXPECT_EQ(config.threshold, 32768u);
  EXPECT_EQ(config.default_pages, 4096u);

  ServerCacheConfig classic;
  ApplyConfigText("ServerMode = Classic\n", classic);
  EXPECT_EQ(classic.default_pages, 256u);
  ApplyConfigText("ServerMode = Classic\nDefaultDbCachePages = 1000\n", classic);
  EXPECT_EQ(classic.default_pages, 1000u);
}

TEST(CacheBypass, DatabasesConfGivesTheBlockOfTheEntryNamingTheDatabase) {
  const std::string conf =
      "# a comment { with braces }\n"
      "security.db = $(dir_secDb)/security3.fdb\n"
      "{\n"
      "\tRemoteAccess = false\n"
      "\tDefaultDbCachePages = 50\n"
      "}\n"
      "main = /srv/db/main.fdb\n"
      "{\n"
      "  DefaultDbCachePages = 70000\n"
      "}\n"
      "bare = /srv/db/bare.fdb\n"
      "other = /srv/db/other.fdb\n"
      "{\n"
      "  DefaultDbCachePages = 1\n"
      "}\n"
      "last = /srv/db/last.fdb\n";
  struct Case {
    const char* db;
    std::optional<std::string> block;
  } cases[] = {
      {"/srv/db/main.fdb", "DefaultDbCachePages = 70000\n"},
      {"main", "DefaultDbCachePages = 70000\n"},
      {"/srv/db/bare.fdb", ""},
      {"/srv/db/last.fdb", ""},
      {"/srv/db/other.fdb", "DefaultDbCachePages = 1\n"},
      {"/srv/db/none.fdb", std::nullopt},
      {"RemoteAccess", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.db);
    EXPECT_EQ(DatabaseBlock(conf, c.db), c.block);
  }
}

TEST(CacheBypass, ConfigFilesAreReadFromTheFirstDirectoryThatHasThem) {
  ScopedTempDir dir;
  std::filesystem::create_directories(dir / "a");
  std::filesystem::create_directories(dir / "b");
  WriteFileBytes(dir / "b/firebird.conf", "FileSystemCacheThreshold = 1K\n");
  WriteFileBytes(dir / "b/databases.conf", "x = /db/x.fdb\n{\nDefaultDbCachePages = 2K\n}\n");
  const ServerCacheConfig x = ReadServerCacheConfig("/db/x.fdb", {dir / "a", dir / "b"});
  EXPECT_EQ(x.threshold, 1024u);
  EXPECT_EQ(x.default_pages, 2048u);
  EXPECT_EQ(x.sources,
            (std::vector<std::string>{dir / "b/firebird.conf", dir / "b/databases.conf"}));
  EXPECT_TRUE(BypassesFileCache(0, x));
  EXPECT_FALSE(BypassesFileCache(1000, x));
  const ServerCacheConfig y = ReadServerCacheConfig("/db/y.fdb", {dir / "b"});
  EXPECT_EQ(y.default_pages, 2048u);
  EXPECT_EQ(y.sources, (std::vector<std::string>{dir / "b/firebird.conf"}));
  const ServerCacheConfig none = ReadServerCacheConfig("/db/x.fdb", {dir / "a"});
  EXPECT_TRUE(none.sources.empty());
  EXPECT_EQ(none.threshold, 65536u);
}

TEST(CacheBypass, TheThresholdIsReachedAtEqualityAndZeroBuffersMeanTheDefault) {
  ServerCacheConfig config;  // 65536 and 2048
  EXPECT_FALSE(BypassesFileCache(0, config));
  EXPECT_FALSE(BypassesFileCache(65535, config));
  EXPECT_TRUE(BypassesFileCache(65536, config));
  EXPECT_TRUE(BypassesFileCache(70000, config));
  config.default_pages = 65536;
  EXPECT_TRUE(BypassesFileCache(0, config));
  config.threshold = 0;  // the server's way to bypass the cache for every database
  EXPECT_TRUE(BypassesFileCache(1, config));
}

TEST(CacheBypass, OnlyThePageBuffersHeaderLineGivesAValue) {
  EXPECT_EQ(PageBuffersOfReportLine(u"\tPage buffers\t\t70000 "), 70000u);
  EXPECT_EQ(PageBuffersOfReportLine(u"\tPage buffers\t\t0"), 0u);
  EXPECT_EQ(PageBuffersOfReportLine(u"\tPage size\t\t8192 "), std::nullopt);
  EXPECT_EQ(PageBuffersOfReportLine(u"\tPage buffers\t\tmany"), std::nullopt);
  EXPECT_EQ(PageBuffersOfReportLine(u""), std::nullopt);
}

TEST(CacheBypass, OnlyThisMachinesServerOnTheDefaultPortIsLocal) {
  for (const char16_t* server : {u"", u"127.0.0.1", u"localhost", u"LocalHost", u"::1",
                                 u"127.0.0.1/3050", u"localhost/gds_db"})
    EXPECT_TRUE(IsLocalServer(server))
        << std::string(server, server + std::char_traits<char16_t>::length(server));
  for (const char16_t* server :
       {u"127.0.0.1/3051", u"dbhost", u"10.0.0.1", u"127.0.0.2", u"localhost.example.com"})
    EXPECT_FALSE(IsLocalServer(server))
        << std::string(server, server + std::char_traits<char16_t>::length(server));
}

TEST(CacheBypass, OnlyReadWriteDescriptorsCountAsEvidence) {
  struct Case {
    const char* what;
    std::vector<ForeignOpening> openings;
    int direct, plain;
  } cases[] = {
      {"none", {}, 0, 0},
      {"the statistics action's own read-only descriptor", {{7, false, false}}, 0, 0},
      {"read-only with O_DIRECT", {{7, false, true}}, 0, 0},
      {"the engine's, with O_DIRECT", {{7, false, false}, {8, true, true}}, 8, 0},
      {"the engine's, without", {{8, true, false}}, 0, 8},
      {"both, the first of each", {{8, true, false}, {9, true, true}, {10, true, true}}, 9, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const BypassEvidence evidence = GatherBypassEvidence("/no/such.fdb", std::nullopt, c.openings);
    EXPECT_FALSE(evidence.configured);  // no header line seen: the configuration says nothing
    EXPECT_EQ(evidence.direct_pid, c.direct);
    EXPECT_EQ(evidence.plain_pid, c.plain);
  }
}
