// Finding the server process behind a port and its configuration, over fixture roots laid out
// as the installations are: Debian 12's package, Debian 13's Firebird 4 and a tarball under
// /opt/firebird on a machine whose client package also installed /etc/firebird/3.0.
#include "tool/server_process.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/text_encoding.h"
#include "tests/support/temp_dir.h"

namespace {

FileAccess FixtureFiles() {
  return {[](const std::string& path, std::string& text) {
            return ReadWholeFile(FromNarrow(path), text);
          },
          [](const std::string& path) { return IsLocalFile(FromNarrow(path)); }};
}

void Put(const ScopedTempDir& root, const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(root / path.substr(1)).parent_path());
  WriteFileBytes(root / path.substr(1), text);
}

// A Debian 12 root: firebird3.0-server's binary in /usr/sbin; gds_db is in the services file.
void Debian12(const ScopedTempDir& root) {
  Put(root, "/usr/sbin/firebird", "");
  Put(root, "/etc/firebird/3.0/firebird.conf", "#RemoteServicePort = 3050\n");
  Put(root, "/etc/services", "gds-db\t\t3050/tcp\tgds_db\t\t# InterBase server\n");
}

// Debian 13's Firebird 4: its own binary directory, the port in an included file.
void Debian13(const ScopedTempDir& root) {
  Put(root, "/usr/lib/firebird/4.0/bin/firebird", "");
  Put(root, "/etc/firebird/4.0/firebird.conf", "include service-port.conf\n");
  Put(root, "/etc/firebird/4.0/service-port.conf", "RemoteServicePort = 3051\n");
}

// A tarball under /opt/firebird beside the client package's /etc/firebird/3.0.
void Tarball(const ScopedTempDir& root) {
  Put(root, "/opt/firebird/bin/firebird", "");
  Put(root, "/opt/firebird/firebird.conf", "RemoteServiceName = fb_opt\nRemoteServicePort = 0\n");
  Put(root, "/etc/firebird/3.0/firebird.conf", "");
  Put(root, "/etc/services", "fb_opt 3052/tcp\n");
}

}  // namespace

TEST(ServerProcess, EachInstallationsBinaryLeadsToItsConfiguration) {
  ScopedTempDir d12, d13, opt;
  Debian12(d12);
  Debian13(d13);
  Tarball(opt);
  const FileAccess files = FixtureFiles();
  struct Case {
    std::string binary;
    std::string root;
    std::optional<std::string> dir;
  } cases[] = {
      {"/usr/sbin/firebird", d12.path(), d12.path() + "/etc/firebird/3.0"},
      {"/usr/lib/firebird/4.0/bin/firebird", d13.path(), d13.path() + "/etc/firebird/4.0"},
      {"/opt/firebird/bin/firebird", opt.path(), opt.path() + "/opt/firebird"},
      {"/usr/sbin/firebird", opt.path(), std::nullopt},  // no package installed it
      {"/usr/local/bin/firebird", d12.path(), std::nullopt},
      {"firebird", d12.path(), std::nullopt},  // started by name: no path to go by
      {"", d12.path(), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.binary + " in " + c.root);
    EXPECT_EQ(ConfigDirOfBinary(c.binary, c.root, files), c.dir);
  }
}

TEST(ServerProcess, ThePortComesFromTheCommandLineOrTheConfiguration) {
  ScopedTempDir root;
  Put(root, "/etc/services", "gds-db 3050/tcp gds_db\nother 3055/udp\nfb 3057/tcp\n");
  const FileAccess files = FixtureFiles();
  struct Case {
    const char* what;
    std::vector<std::string> arguments;
    std::string conf;
    std::optional<uint16_t> port;
  } cases[] = {
      {"defaults: gds_db from the services file", {"/usr/sbin/firebird"}, "", 3050},
      {"RemoteServicePort", {"firebird"}, "RemoteServicePort = 3051", 3051},
      {"a port of 0 leaves it to the name",
       {"firebird"},
       "RemoteServicePort = 0\n"
       "RemoteServiceName = fb",
       3057},
      {"a name only for udp is no port", {"firebird"}, "RemoteServiceName = other", std::nullopt},
      {"-p on the command line wins", {"firebird", "-p", "3059"}, "RemoteServicePort = 3051", 3059},
      {"-p with a name", {"firebird", "-P", "fb"}, "", 3057},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConfigSettings settings;
    ApplyConfigText(c.conf, "/firebird.conf", settings, files.read);
    EXPECT_EQ(PortOfServer(c.arguments, settings, root.path(), files), c.port);
  }
  ConfigSettings none;
  EXPECT_EQ(PortOfServer({"firebird"}, none, root / "nowhere", files), 3050)
      << "gds_db falls back on the registered port";

  const std::pair<const char16_t*, std::optional<uint16_t>> servers[] = {
      {u"", 3050},
      {u"127.0.0.1", 3050},
      {u"127.0.0.1/3051", 3051},
      {u"localhost/gds_db", 3050},
      {u"[::1]/3052", 3052},
      {u"h/0", std::nullopt},
      {u"h/fb_other", std::nullopt}};
  for (const auto& [server, port] : servers)
    EXPECT_EQ(ServerPort(server), port)
        << std::string(server, server + std::char_traits<char16_t>::length(server));
}

TEST(ServerProcess, ThePortPicksOneOfSeveralServersAndClassicCountsOnce) {
  ScopedTempDir d12, d13, opt;
  Debian12(d12);
  Debian13(d13);
  Tarball(opt);
  const std::vector<RunningProcess> processes = {
      {900, "bash", {"-bash"}, ""},
      {20172, "fbguard", {"/usr/sbin/fbguard", "-daemon", "-forever"}, d12.path()},
      {20173, "firebird", {"/usr/sbin/firebird"}, d12.path()},
      {20180, "firebird", {"/usr/sbin/firebird"}, d12.path()},  // Classic: one per attachment
      {30001, "firebird", {"/usr/lib/firebird/4.0/bin/firebird"}, d13.path()},
      {40001, "firebird", {"/opt/firebird/bin/firebird"}, opt.path()},
      {50001, "fb_smp_server", {"/usr/local/fb25/bin/fb_smp_server"}, ""},
  };
  const std::vector<ServerInstance> servers = FirebirdServers(processes, FixtureFiles());
  ASSERT_EQ(servers.size(), 4u);
  EXPECT_EQ(servers[0].pid, 20173);
  EXPECT_EQ(servers[0].config_dir, d12.path() + "/etc/firebird/3.0");
  EXPECT_EQ(servers[0].port, 3050);
  EXPECT_EQ(servers[1].port, 3051);
  EXPECT_EQ(servers[2].port, 3052);
  EXPECT_EQ(servers[3].config_dir, "");
  EXPECT_EQ(servers[3].port, std::nullopt);
  EXPECT_EQ(ServerForPort(servers, 3050)->pid, 20173);
  EXPECT_EQ(ServerForPort(servers, 3051)->pid, 30001);
  // The tarball is judged by its own configuration, not by the client's /etc/firebird/3.0.
  EXPECT_EQ(ServerForPort(servers, 3052)->config_dir, opt.path() + "/opt/firebird");
  EXPECT_FALSE(ServerForPort(servers, 3053).has_value());
}
