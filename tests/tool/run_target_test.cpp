// The run's target: which servers are this machine's, the one name of this machine's server,
// and where a database path lies as seen from here.
#include "tool/run_target.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace {

std::u16string U16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

TEST(RunTarget, EveryLoopbackAddressOnAnyPortIsTheLocalServer) {
  const std::pair<const char16_t*, bool> cases[] = {
      {u"", true},
      {u"127.0.0.1", true},
      {u"127.0.0.1/3051", true},
      {u"127.1.2.3/gds_db", true},
      {u"localhost", true},
      {u"LocalHost/3059", true},
      {u"::1", true},
      {u"[::1]/3051", true},
      {u"::ffff:127.0.0.1", true},
      {u"127.0.0.256", false},
      {u"127.0.0", false},
      {u"128.0.0.1", false},
      {u"10.0.0.1/3050", false},
      {u"dbhost", false},
      {u"localhost.example.com", false},
      {u"::2", false},
  };
  for (const auto& [server, local] : cases)
    EXPECT_EQ(IsLocalServer(server), local)
        << std::string(server, server + std::char_traits<char16_t>::length(server));
}

TEST(RunTarget, AnEmptyServerIsThisMachinesAndEveryOtherValueStaysAsGiven) {
  EXPECT_EQ(ServerOf(u""), u"127.0.0.1");
  EXPECT_EQ(ServerOf(u"localhost/3051"), u"localhost/3051");
  EXPECT_EQ(ServerOf(u"dbhost"), u"dbhost");
}

TEST(RunTarget, ADatabasePathIsLocatedOnceWithWhatTheOperatorNeedsToHear) {
  using Place = DatabaseLocation::Place;
  ScopedTempDir dir;
  WriteFileBytes(dir / "db.fdb", "data");
  std::filesystem::create_symlink(dir / "loop-b", dir / "loop-a");
  std::filesystem::create_symlink(dir / "loop-a", dir / "loop-b");
  const std::string missing = dir / "mian.fdb";
  struct Case {
    const char* what;
    std::string path;
    std::optional<std::u16string> server;  // nothing: the /SERVER value was refused
    Place place;
    std::u16string local_server;
  } cases[] = {
      {"a file here", dir / "db.fdb", u"dbhost", Place::LocalFile, u""},
      {"a directory", dir.path(), u"", Place::Elsewhere, u""},
      {"missing, the server local by default", missing, u"", Place::MissingHere, u"127.0.0.1"},
      {"missing, the server local by name", missing, u"localhost/3051", Place::MissingHere,
       u"localhost/3051"},
      {"missing, the server elsewhere", missing, u"dbhost", Place::Elsewhere, u""},
      {"missing, the server refused: no claim about it", missing, std::nullopt, Place::Elsewhere,
       u""},
      {"an alias", "main", u"", Place::Elsewhere, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const DatabaseLocation location = LocateDatabase(U16(c.path), c.server);
    EXPECT_EQ(location.path, U16(c.path));
    EXPECT_EQ(location.place, c.place);
    EXPECT_EQ(location.IsLocalFile(), c.place == Place::LocalFile);
    EXPECT_EQ(location.local_server, c.local_server);
  }
  // A loop of links: the system's reason, since no directory on the way is closed.
  const DatabaseLocation loop = LocateDatabase(U16(dir / "loop-a"), u"");
  EXPECT_EQ(loop.place, Place::Unreachable);
  EXPECT_EQ(loop.unsearchable_directory, u"");
  EXPECT_EQ(loop.access_failure, u"Too many levels of symbolic links");
}
