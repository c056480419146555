// An alias of the local server resolved to its file: the macros of databases.conf, the
// server's rules for an entry, and the way from the server process to its configuration, over
// fixture files in a root of their own and a fixture process table.
#include "tool/database_alias.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/text_encoding.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(ConfigMacros, EachInstallationExpandsThemAsItsServerDoes) {
  const struct {
    const char* config_dir;
    const char* text;
    std::optional<std::string> expanded;
  } cases[] = {
      // Debian 12's firebird3.0: the security database under /var, examples with the docs.
      {"/etc/firebird/3.0", "$(dir_secDb)/security3.fdb",
       "/var/lib/firebird/3.0/system/security3.fdb"},
      {"/etc/firebird/3.0", "$(dir_sampleDb)/employee.fdb",
       "/usr/share/doc/firebird3.0-common-doc/examples/empbuild/employee.fdb"},
      {"/etc/firebird/3.0", "$(root)/x.fdb", "/usr/lib/x86_64-linux-gnu/firebird/3.0/x.fdb"},
      // Debian 13's firebird4.0 keeps everything below its root.
      {"/etc/firebird/4.0", "$(dir_secDb)/security4.fdb",
       "/usr/lib/x86_64-linux-gnu/firebird/4.0/security4.fdb"},
      {"/etc/firebird/4.0", "$(DIR_SAMPLEDB)/employee.fdb",
       "/usr/lib/x86_64-linux-gnu/firebird/4.0/examples/empbuild/employee.fdb"},
      // An installation of its own, /opt/firebird.
      {"/opt/firebird", "$(dir_secDb)/security3.fdb", "/opt/firebird/security3.fdb"},
      {"/opt/firebird", "$(root)/data/$(dir_intl)", "/opt/firebird/data//opt/firebird/intl"},
      {"/opt/firebird", "$(this)/main.fdb", "/opt/firebird/main.fdb"},
      {"/opt/firebird", "/srv/plain.fdb", "/srv/plain.fdb"},
      // What the server refuses, or what is not known here, resolves to nothing.
      {"/opt/firebird", "$(ROOT)/x.fdb", std::nullopt},
      {"/opt/firebird", "$(install)/x.fdb", std::nullopt},
      {"/opt/firebird", "$(dir_nothing)/x.fdb", std::nullopt},
      {"/opt/firebird", "$(root/x.fdb", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.config_dir) + " " + c.text);
    EXPECT_EQ(ExpandConfigMacros(c.text, DirectoriesOfInstallation(c.config_dir), c.config_dir),
              c.expanded);
  }
}

TEST(AliasFile, OnlyAnExactSingleEntryWithAnAbsoluteFileCounts) {
  const std::vector<DatabaseEntry> entries = ParseDatabasesConf(
      "security.db = $(dir_secDb)/security3.fdb\n"
      "{\n  RemoteAccess = false\n}\n"
      "main = /srv/db/main.fdb   # the shop\n"
      "quoted = \"/srv/db/with space.fdb\"\n"
      "relative = db/rel.fdb\n"
      "twice = /srv/db/a.fdb\n"
      "twice = /srv/db/b.fdb\n");
  const struct {
    const char* db;
    std::optional<std::string> file;
  } cases[] = {
      {"main", "/srv/db/main.fdb"},
      {"security.db", "/var/lib/firebird/3.0/system/security3.fdb"},
      {"quoted", "/srv/db/with space.fdb"},
      {"MAIN", std::nullopt},      // aliases are matched with their letter case
      {"relative", std::nullopt},  // the server ignores an alias of a relative path
      {"twice", std::nullopt},     // and refuses a doubled one
      {"/srv/db/main.fdb", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.db);
    EXPECT_EQ(AliasFile(entries, c.db, "/etc/firebird/3.0"), c.file);
  }
}

// A machine in a directory: the files of its root, and the server processes it runs.
class LocalAliasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Put("/usr/sbin/firebird", "");
    Put("/etc/firebird/3.0/firebird.conf", "#RemoteServicePort = 3050\n");
    Put("/etc/firebird/3.0/databases.conf",
        "main = /srv/db/main.fdb\nsecurity.db = $(dir_secDb)/security3.fdb\n");
    // A second installation on port 3051 in a root of its own, as a container would be.
    Put("/fb4/usr/lib/firebird/4.0/bin/firebird", "");
    Put("/fb4/etc/firebird/4.0/firebird.conf", "RemoteServicePort = 3051\n");
    Put("/fb4/etc/firebird/4.0/databases.conf", "four = $(dir_secDb)/security4.fdb\n");
    processes_ = {{100, "firebird", {"/usr/sbin/firebird"}, root_.path()},
                  {200, "firebird", {"/usr/lib/firebird/4.0/bin/firebird"}, root_ / "fb4"}};
    files_ = {[](const std::string& path, std::string& text) {
                return ReadWholeFile(FromNarrow(path), text);
              },
              [](const std::string& path) { return IsLocalFile(FromNarrow(path)); }};
  }

  void Put(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(
        std::filesystem::path(root_ / path.substr(1)).parent_path());
    WriteFileBytes(root_ / path.substr(1), text);
  }

  std::optional<AliasTarget> Resolve(const std::u16string& db, const std::u16string& server) {
    return ResolveLocalAlias(db, server, processes_, files_);
  }

  ScopedTempDir root_;
  std::vector<RunningProcess> processes_;
  FileAccess files_;
};

TEST_F(LocalAliasTest, TheServerOfThePortResolvesItsOwnAliases) {
  const std::u16string root = FromNarrow(root_.path());
  const struct {
    const char* what;
    std::u16string db;
    std::u16string server;
    std::optional<std::u16string> file;
  } cases[] = {
      {"the default server", u"main", u"127.0.0.1", root + u"/srv/db/main.fdb"},
      {"by name, port given", u"main", u"localhost/3050", root + u"/srv/db/main.fdb"},
      {"a macro", u"security.db", u"127.0.0.1",
       root + u"/var/lib/firebird/3.0/system/security3.fdb"},
      {"the other server's root and macros", u"four", u"127.0.0.1/3051",
       root + u"/fb4/usr/lib/x86_64-linux-gnu/firebird/4.0/security4.fdb"},
      {"an alias of the other server only", u"four", u"127.0.0.1", std::nullopt},
      {"no server on the port", u"main", u"127.0.0.1/3052", std::nullopt},
      {"a server elsewhere", u"main", u"dbhost", std::nullopt},
      {"no such alias", u"mian", u"127.0.0.1", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<AliasTarget> target = Resolve(c.db, c.server);
    ASSERT_EQ(target.has_value(), c.file.has_value());
    if (!target) continue;
    EXPECT_EQ(target->file, *c.file);
    EXPECT_EQ(target->conf_file.find(u"/databases.conf"), target->conf_file.size() - 15);
  }
}

TEST_F(LocalAliasTest, AnAliasIsLocatedAtItsFileWhileTheServerKeepsTheAlias) {
  using Place = DatabaseLocation::Place;
  Put("/srv/db/main.fdb", "data");
  int asked = 0;
  const AliasLookup lookup = [&](const std::u16string& db, const std::u16string& server) {
    ++asked;
    return Resolve(db, server);
  };
  const DatabaseLocation main = LocateDatabase(u"main", u"", lookup);
  EXPECT_EQ(main.place, Place::LocalFile);
  EXPECT_EQ(main.path, u"main");
  EXPECT_EQ(main.LocalPath(), FromNarrow(root_ / "srv/db/main.fdb"));
  EXPECT_EQ(main.alias_conf, FromNarrow(root_ / "etc/firebird/3.0/databases.conf"));

  // An alias whose file is missing is said as that file missing on the local server.
  const DatabaseLocation security = LocateDatabase(u"security.db", u"localhost", lookup);
  EXPECT_EQ(security.place, Place::MissingHere);
  EXPECT_EQ(security.path, u"security.db");
  EXPECT_EQ(security.LocalPath(), FromNarrow(root_ / "var/lib/firebird/3.0/system/security3.fdb"));

  // Without an alias everything is as before; a server elsewhere or refused is not asked.
  const DatabaseLocation plain = LocateDatabase(u"other", u"", lookup);
  EXPECT_EQ(plain.place, Place::Elsewhere);
  EXPECT_EQ(plain.LocalPath(), u"other");
  EXPECT_TRUE(plain.alias_conf.empty());
  const int asked_for_local = asked;
  EXPECT_EQ(LocateDatabase(u"main", u"dbhost", lookup).place, Place::Elsewhere);
  EXPECT_EQ(LocateDatabase(u"main", std::nullopt, lookup).place, Place::Elsewhere);
  EXPECT_EQ(asked, asked_for_local);
}

}  // namespace
