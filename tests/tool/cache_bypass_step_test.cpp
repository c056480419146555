// The bypass step end to end over the in-process fake client library, fixture configuration
// files and a fixture process table: what it asks of whom, and the verdict it hands on.
#include "tool/cache_bypass_step.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/text_encoding.h"
#include "tests/support/fake_client_library.h"
#include "tests/support/temp_dir.h"

namespace {

using Outcome = BypassVerdict::Outcome;

std::string Le32(uint32_t value) {
  return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
          static_cast<char>((value >> 16) & 0xFF), static_cast<char>(value >> 24)};
}

class BypassStepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFileBytes(db_, std::string(4096, 'd'));
    // A Debian 12 root for the server process.
    Put("/usr/sbin/firebird", "");
    Put("/etc/firebird/3.0/firebird.conf", "#FileSystemCacheThreshold = 64K\n");
    fake_->info_values = {{isc_info_num_buffers, Le32(70000)},
                          {isc_info_set_page_buffers, Le32(70000)},
                          {isc_info_db_class, Le32(14)},
                          {isc_info_ods_version, Le32(12)}};
    fake_->results.push_back(
        {"RDB$RELATIONS", ScriptedResult(std::vector<short>{SQL_LONG})});  // no RDB$CONFIG
    processes_ = {{20173, "firebird", {"/usr/sbin/firebird"}, root_.path()}};
    openings_ = std::vector<ForeignOpening>{{20173, true, true}};
  }

  void Put(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(
        std::filesystem::path(root_ / path.substr(1)).parent_path());
    WriteFileBytes(root_ / path.substr(1), text);
  }

  BypassVerdict Find(const std::u16string& server = u"") {
    BypassSources sources;
    sources.library = fake_;
    sources.processes = [this] { return processes_; };
    sources.openings = [this](int pid, const std::u16string&) {
      asked_while_attached_ = fake_->calls.back().name != "isc_detach_database";
      asked_pid_ = pid;
      return openings_;
    };
    sources.files = {[](const std::string& path, std::string& text) {
                       return ReadWholeFile(FromNarrow(path), text);
                     },
                     [](const std::string& path) { return IsLocalFile(FromNarrow(path)); }};
    const ServerTarget target{ServerOf(server), LocateDatabase(FromNarrow(db_), server), u"SYSDBA",
                              u"geheim"};
    return FindBypassVerdict(target, sources);
  }

  std::vector<std::string> CallNames() const {
    std::vector<std::string> names;
    for (const FakeCall& call : fake_->calls) names.push_back(call.name);
    return names;
  }

  ScopedTempDir dir_, root_;
  std::string db_ = dir_ / "main.fdb";
  std::shared_ptr<FakeClientLibrary> fake_ = std::make_shared<FakeClientLibrary>();
  std::vector<RunningProcess> processes_;
  std::optional<std::vector<ForeignOpening>> openings_;
  bool asked_while_attached_ = false;
  int asked_pid_ = 0;
};

TEST_F(BypassStepTest, Firebird3TheServerTellsTheBuffersItsConfigurationTheThreshold) {
  const BypassVerdict verdict = Find();
  EXPECT_EQ(verdict.outcome, Outcome::Bypasses);
  EXPECT_EQ(fake_->database_name, "127.0.0.1:" + db_);
  EXPECT_EQ(verdict.page_buffers, 70000u);
  EXPECT_EQ(verdict.header_buffers, 70000u);
  EXPECT_EQ(verdict.db_class, 14);
  ASSERT_TRUE(verdict.threshold.has_value());
  EXPECT_EQ(verdict.threshold->value, 65536u);
  EXPECT_EQ(verdict.threshold->origin.kind, InputOrigin::Default);
  EXPECT_FALSE(verdict.use_file_system_cache.has_value());  // Firebird 3 knows no such thing
  ASSERT_TRUE(verdict.server.has_value());
  EXPECT_EQ(verdict.server->config_dir, root_.path() + "/etc/firebird/3.0");
  EXPECT_EQ(verdict.evidence, DescriptorEvidence::Direct);
  // The descriptor is looked at while the attachment holds the database open, then it ends.
  EXPECT_TRUE(asked_while_attached_);
  EXPECT_EQ(asked_pid_, 20173);
  EXPECT_EQ(CallNames().back(), "isc_detach_database");
  EXPECT_EQ(fake_->open_transactions, 0);
}

// Each case changes the Firebird 3 set-up above.
TEST_F(BypassStepTest, WhereTheInputsComeFrom) {
  const std::string conf = root_.path() + "/etc/firebird/3.0/firebird.conf";
  const std::string databases = root_.path() + "/etc/firebird/3.0/databases.conf";
  // The header leaves the buffers to the server; databases.conf gives them to the file under
  // its second alias, and a lower threshold in firebird.conf.
  {
    SCOPED_TRACE("databases.conf");
    fake_->info_values[isc_info_set_page_buffers] = Le32(0);
    Put("/etc/firebird/3.0/firebird.conf", "FileSystemCacheThreshold = 32K\nServerMode = Super\n");
    Put("/etc/firebird/3.0/databases.conf",
        "a = " + db_ + "\nb = " + db_ + "\n{\n  DefaultDbCachePages = 70000\n}\n");
    const BypassVerdict verdict = Find();
    ASSERT_TRUE(verdict.default_pages.has_value());
    EXPECT_EQ(verdict.default_pages->value, 70000u);
    EXPECT_EQ(verdict.default_pages->origin.file, databases);
    ASSERT_TRUE(verdict.threshold.has_value());
    EXPECT_EQ(verdict.threshold->value, 32768u);
    EXPECT_EQ(verdict.threshold->origin.file, conf);
  }
  // Firebird 4: RDB$CONFIG tells; UseFileSystemCache set decides against the threshold.
  {
    SCOPED_TRACE("RDB$CONFIG");
    fake_->Reset();
    fake_->info_values = {{isc_info_num_buffers, Le32(70000)}, {isc_info_ods_version, Le32(13)}};
    fake_->results.push_back({"'RDB$CONFIG'", ScriptedResult({SQL_LONG}, {{int64_t{1}}})});
    fake_->results.push_back(
        {"FROM RDB$CONFIG",
         ScriptedResult({SQL_VARYING, SQL_VARYING, SQL_BOOLEAN, SQL_VARYING},
                        {{std::string("UseFileSystemCache"), std::string("true"), int64_t{1},
                          std::string("/etc/firebird/4.0/databases.conf")},
                         {std::string("FileSystemCacheThreshold"), std::string("65536"), int64_t{0},
                          std::monostate()},
                         {std::string("DefaultDbCachePages"), std::string("70000"), int64_t{1},
                          std::string("/etc/firebird/4.0/firebird.conf")}})});
    openings_ = std::vector<ForeignOpening>{{20173, true, false}};
    const BypassVerdict verdict = Find(u"localhost/3050");
    EXPECT_EQ(verdict.outcome, Outcome::UsesCache);
    ASSERT_TRUE(verdict.use_file_system_cache.has_value());
    EXPECT_TRUE(verdict.use_file_system_cache->value);
    EXPECT_EQ(verdict.use_file_system_cache->origin.kind, InputOrigin::ServerTable);
    EXPECT_EQ(verdict.threshold->origin.kind, InputOrigin::ServerTable);
    EXPECT_EQ(verdict.threshold->origin.file, "");  // the server's default
    EXPECT_EQ(verdict.default_pages->origin.file, "/etc/firebird/4.0/firebird.conf");
  }
  // Firebird 4 whose table says UseFileSystemCache is not set: the files do not overrule it.
  Put("/etc/firebird/3.0/databases.conf", db_ + " = " + db_ + "\n{\n UseFileSystemCache = no\n}\n");
  {
    SCOPED_TRACE("RDB$CONFIG unset");
    fake_->Reset();
    fake_->info_values = {{isc_info_num_buffers, Le32(2048)}, {isc_info_ods_version, Le32(13)}};
    fake_->results.push_back({"'RDB$CONFIG'", ScriptedResult({SQL_LONG}, {{int64_t{1}}})});
    fake_->results.push_back(
        {"FROM RDB$CONFIG",
         ScriptedResult({SQL_VARYING, SQL_VARYING, SQL_BOOLEAN, SQL_VARYING},
                        {{std::string("UseFileSystemCache"), std::string("true"), int64_t{0},
                          std::monostate()},
                         {std::string("FileSystemCacheThreshold"), std::string("65536"), int64_t{0},
                          std::monostate()}})});
    const BypassVerdict verdict = Find();
    EXPECT_FALSE(verdict.use_file_system_cache.has_value());
    EXPECT_EQ(verdict.outcome, Outcome::UsesCache);
  }
  // Firebird 4 that shows this user no rows of its table: the files tell, the block decides.
  {
    SCOPED_TRACE("RDB$CONFIG hidden");
    fake_->Reset();
    fake_->info_values = {{isc_info_num_buffers, Le32(2048)}, {isc_info_ods_version, Le32(13)}};
    fake_->results.push_back({"'RDB$CONFIG'", ScriptedResult({SQL_LONG}, {{int64_t{1}}})});
    fake_->results.push_back(
        {"FROM RDB$CONFIG", ScriptedResult({SQL_VARYING, SQL_VARYING, SQL_BOOLEAN, SQL_VARYING})});
    const BypassVerdict verdict = Find();
    ASSERT_TRUE(verdict.use_file_system_cache.has_value());
    EXPECT_FALSE(verdict.use_file_system_cache->value);
    EXPECT_EQ(verdict.use_file_system_cache->origin.file, databases);
    EXPECT_EQ(verdict.outcome, Outcome::Bypasses);
    // Firebird 3 knows no UseFileSystemCache: the same files leave the threshold to decide.
    fake_->Reset();
    fake_->info_values = {{isc_info_num_buffers, Le32(2048)}, {isc_info_ods_version, Le32(12)}};
    fake_->results.push_back({"RDB$RELATIONS", ScriptedResult(std::vector<short>{SQL_LONG})});
    const BypassVerdict firebird3 = Find();
    EXPECT_FALSE(firebird3.use_file_system_cache.has_value());
    EXPECT_EQ(firebird3.outcome, Outcome::UsesCache);
  }
}

TEST_F(BypassStepTest, WithoutTheServerProcessOrItsDescriptorsTheVerdictSaysWhy) {
  // The port is served by nobody visible: the threshold stays unknown.
  openings_.reset();
  BypassVerdict verdict = Find(u"127.0.0.1/3051");
  EXPECT_EQ(verdict.outcome, Outcome::Undetermined);
  EXPECT_EQ(verdict.port, 3051);
  EXPECT_FALSE(verdict.server.has_value());
  ASSERT_EQ(verdict.servers_seen.size(), 1u);
  EXPECT_EQ(verdict.servers_seen[0].port, 3050);
  EXPECT_EQ(verdict.evidence, DescriptorEvidence::NotLooked);
  // The server on the port, its descriptors closed to this user: the rule stands unconfirmed.
  verdict = Find();
  EXPECT_EQ(verdict.outcome, Outcome::Bypasses);
  EXPECT_EQ(verdict.evidence, DescriptorEvidence::Unreadable);
}

TEST_F(BypassStepTest, AServerThatCannotBeAskedGivesItsWordsAndRaisesNothing) {
  fake_->attach_database_outcomes.push_back(
      {-902, 335544472, {"Your user name and password are not defined."}});
  BypassVerdict verdict = Find();
  EXPECT_EQ(verdict.outcome, Outcome::Unreached);
  EXPECT_EQ(verdict.failure, u"Your user name and password are not defined");

  fake_->Reset();
  fake_->info_outcomes.push_back({-902, 335544721, {"Unable to complete network request"}});
  verdict = Find();
  EXPECT_EQ(verdict.outcome, Outcome::Unreached);
  EXPECT_EQ(CallNames().back(), "isc_detach_database");  // the attachment is given back
}

TEST_F(BypassStepTest, NothingIsAskedOfARemoteServerOrForAFileThatIsNotHere) {
  EXPECT_EQ(Find(u"dbhost").outcome, Outcome::NotAsked);
  EXPECT_EQ(Find(u"10.0.0.1/3050").outcome, Outcome::NotAsked);
  db_ = dir_ / "elsewhere.fdb";
  EXPECT_EQ(Find(u"").outcome, Outcome::NotAsked);
  EXPECT_TRUE(fake_->calls.empty());
}

}  // namespace
