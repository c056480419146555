// The server's configuration as the server reads it (numbers, yes/no values, includes, later
// lines winning, the block databases.conf gives a database), and the engine's rule with the
// server's own descriptor against it.
#include "tool/cache_bypass.h"

#include <gtest/gtest.h>

#include <map>

#include "tool/server_config.h"

namespace {

// Files of a fixture, by path.
ConfigFileReader Reader(std::map<std::string, std::string> files) {
  return [files](const std::string& path, std::string& text) {
    const auto found = files.find(path);
    if (found == files.end()) return false;
    text = found->second;
    return true;
  };
}

std::string Shown(const ConfigSetting* setting) {
  return setting ? setting->value + " @ " + setting->file : "(unset)";
}

}  // namespace

TEST(CacheBypass, ConfigNumbersTakeBinaryUnitsAndBooleansTheServersWords) {
  struct Case {
    const char* text;
    std::optional<uint64_t> value;
  } numbers[] = {
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
  for (const Case& c : numbers) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseConfigNumber(c.text), c.value);
  }
  struct Flag {
    const char* text;
    std::optional<bool> value;
  } flags[] = {{"true", true},      {" Yes", true},   {"y", true},        {"ON", true},
               {"1", true},         {"false", false}, {"no", false},      {"N", false},
               {"off", false},      {"0", false},     {"", std::nullopt}, {"maybe", std::nullopt},
               {"10", std::nullopt}};
  for (const Flag& f : flags) {
    SCOPED_TRACE(f.text);
    EXPECT_EQ(ParseConfigBool(f.text), f.value);
  }
}

// Each case: firebird.conf's text (and the files it may include), then what the settings hold.
TEST(CacheBypass, FirebirdConfIsReadAsTheServerReadsIt) {
  const std::string conf = "/etc/firebird/3.0/firebird.conf";
  struct Case {
    const char* what;
    std::map<std::string, std::string> files;
    std::map<std::string, std::string> expected;  // name -> "value @ file" or "(unset)"
  } cases[] = {
      {"an explicit DefaultDbCachePages survives a ServerMode after it, as shipped",
       {{conf, "DefaultDbCachePages = 4096\n#...\nServerMode = Classic\n"}},
       {{"DefaultDbCachePages", "4096 @ " + conf}, {"ServerMode", "Classic @ " + conf}}},
      {"comments are no settings; an end-of-line comment is cut",
       {{conf, "#FileSystemCacheThreshold = 1\nFileSystemCacheThreshold = 32K   # half\r\n"}},
       {{"FileSystemCacheThreshold", "32K @ " + conf}}},
      {"a later line wins, whatever the letter case of its name",
       {{conf, "FileSystemCacheThreshold = 1K\nfilesystemcachethreshold=2K\n"}},
       {{"FileSystemCacheThreshold", "2K @ " + conf}}},
      {"an include is read in its place, relative to the including file",
       {{conf, "RemoteServicePort = 3050\ninclude service-port.conf\nUseFileSystemCache = no\n"},
        {"/etc/firebird/3.0/service-port.conf", "RemoteServicePort = 3051\n"}},
       {{"RemoteServicePort", "3051 @ /etc/firebird/3.0/service-port.conf"},
        {"UseFileSystemCache", "no @ " + conf}}},
      {"a file including itself ends; macros and wildcards are not followed",
       {{conf,
         "include firebird.conf\ninclude $(dir_conf)/x.conf\ninclude /etc/*.conf\n"
         "DefaultDbCachePages = 1\n"}},
       {{"DefaultDbCachePages", "1 @ " + conf}, {"FileSystemCacheThreshold", "(unset)"}}},
      {"a missing include changes nothing",
       {{conf, "include gone.conf\nFileSystemCacheThreshold = 7\n"}},
       {{"FileSystemCacheThreshold", "7 @ " + conf}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConfigSettings settings;
    ASSERT_TRUE(ApplyConfigFile(conf, settings, Reader(c.files)));
    for (const auto& [name, shown] : c.expected)
      EXPECT_EQ(Shown(settings.Find(name)), shown) << name;
  }
  ConfigSettings none;
  EXPECT_FALSE(ApplyConfigFile(conf, none, Reader({})));
}

TEST(CacheBypass, TheDatabaseBlockBelongsToTheFileWhicheverOfItsEntriesCarriesIt) {
  const std::vector<DatabaseEntry> entries = ParseDatabasesConf(
      "# a comment { with braces }\n"
      "security.db = $(dir_secDb)/security3.fdb\n"
      "{\n"
      "\tRemoteAccess = false\n"
      "\tDefaultDbCachePages = 50\n"
      "}\n"
      "first = /srv/db/main.fdb\n"
      "second = /srv/db/main.fdb\n"
      "{\n"
      "  DefaultDbCachePages = 70000\n"
      "}\n"
      "bare = /srv/db/bare.fdb\n"
      "other = /srv/db/other.fdb\n"
      "{ FileSystemCacheThreshold = 1\n"
      "}\n"
      "Linked = /srv/db/linked.fdb\n"
      "{\n"
      "  UseFileSystemCache = true\n"
      "}\n");
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[1].alias, "first");
  EXPECT_FALSE(entries[1].block.has_value());
  // A path that leads to linked.fdb another way, as a symbolic link does.
  const auto same_file = [](const std::string& a, const std::string& b) {
    return (a == "/srv/db/linked.fdb" && b == "/data/linked.fdb") ||
           (b == "/srv/db/linked.fdb" && a == "/data/linked.fdb");
  };
  struct Case {
    const char* db;
    std::optional<std::string> block;
  } cases[] = {
      {"/srv/db/main.fdb", "DefaultDbCachePages = 70000\n"},  // the first entry has no block
      {"first", "DefaultDbCachePages = 70000\n"},
      {"second", "DefaultDbCachePages = 70000\n"},
      {"/srv/db/bare.fdb", std::nullopt},
      {"bare", std::nullopt},
      {"other", "FileSystemCacheThreshold = 1\n"},
      {"/data/linked.fdb", "UseFileSystemCache = true\n"},
      {"linked", std::nullopt},  // aliases are names of their own: letter case counts
      {"/srv/db/none.fdb", std::nullopt},
      {"RemoteAccess", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.db);
    EXPECT_EQ(DatabaseBlock(entries, c.db, same_file), c.block);
  }
}

// The engine's rule, and the server's descriptor against it.
TEST(CacheBypass, UseFileSystemCacheDecidesWhenSetTheThresholdOtherwiseAndTheDescriptorWins) {
  using Outcome = BypassVerdict::Outcome;
  const std::optional<VerdictInput<bool>> unset;
  const VerdictInput<bool> use{true,
                               {InputOrigin::ServerTable, "/etc/firebird/4.0/databases.conf"}};
  const VerdictInput<bool> avoid{false, {InputOrigin::File, "/opt/firebird/firebird.conf"}};
  const VerdictInput<uint64_t> threshold{65536, {InputOrigin::Default, ""}};
  const VerdictInput<uint64_t> zero{0, {InputOrigin::File, "/etc/firebird/3.0/firebird.conf"}};
  struct Case {
    const char* what;
    uint64_t buffers;
    std::optional<VerdictInput<bool>> use;
    std::optional<VerdictInput<uint64_t>> threshold;
    DescriptorEvidence evidence;
    Outcome outcome;
  } cases[] = {
      {"below the threshold", 2048, unset, threshold, DescriptorEvidence::Plain,
       Outcome::UsesCache},
      {"just below", 65535, unset, threshold, DescriptorEvidence::NotLooked, Outcome::UsesCache},
      {"at the threshold", 65536, unset, threshold, DescriptorEvidence::NotLooked,
       Outcome::Bypasses},
      {"a threshold of 0 bypasses for all", 1, unset, zero, DescriptorEvidence::Unreadable,
       Outcome::Bypasses},
      {"UseFileSystemCache set true beats the threshold", 70000, use, threshold,
       DescriptorEvidence::NotLooked, Outcome::UsesCache},
      {"UseFileSystemCache set false beats it too", 2048, avoid, threshold,
       DescriptorEvidence::NotLooked, Outcome::Bypasses},
      {"no threshold known: the descriptor tells", 2048, unset, std::nullopt,
       DescriptorEvidence::Plain, Outcome::UsesCache},
      {"no threshold known, O_DIRECT seen", 2048, unset, std::nullopt, DescriptorEvidence::Direct,
       Outcome::Bypasses},
      {"nothing known", 2048, unset, std::nullopt, DescriptorEvidence::Unreadable,
       Outcome::Undetermined},
      {"nothing known, not open", 2048, unset, std::nullopt, DescriptorEvidence::NotOpen,
       Outcome::Undetermined},
      {"the rule says cache, the descriptor shows O_DIRECT", 2048, unset, threshold,
       DescriptorEvidence::Direct, Outcome::Bypasses},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BypassVerdict verdict;
    verdict.page_buffers = c.buffers;
    verdict.use_file_system_cache = c.use;
    verdict.threshold = c.threshold;
    verdict.evidence = c.evidence;
    DecideBypass(verdict);
    EXPECT_EQ(verdict.outcome, c.outcome);
  }
}
