// What a run works on, established once and handed to each step: the server it attaches to,
// and where the database lies as seen from this machine.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The server a /SERVER value names: the value itself, or this machine's server (127.0.0.1)
// for the empty one.
std::u16string ServerOf(std::u16string_view value);

// True for a server that is this machine's: empty, localhost, any address of 127.0.0.0/8 or
// ::1; any port.
bool IsLocalServer(std::u16string_view server);

// The database path as this machine sees it.
struct DatabaseLocation {
  enum class Place {
    LocalFile,    // a file here: the read-through reads it
    Unreachable,  // perhaps here, but a directory on the way or the system refuses to tell
    MissingHere,  // an absolute path that names nothing here although the server is local
    Elsewhere,    // on another machine, an alias, or nothing to say about it
  };
  std::u16string path;  // the /DB value: the path as the server sees it, or an alias
  Place place = Place::Elsewhere;
  // Unreachable: the first directory on the way that this user may not search, if that is
  // why; else the system's reason.
  std::u16string unsearchable_directory;
  std::u16string access_failure;
  // MissingHere: the local server that reads the path.
  std::u16string local_server;

  bool IsLocalFile() const { return place == Place::LocalFile; }
};

// Looks at path here. server is the /SERVER value as given, nothing when it was refused: then
// no claim about the server is made.
DatabaseLocation LocateDatabase(const std::u16string& path,
                                const std::optional<std::u16string>& server);

// Where the server part of the run attaches, and as whom.
struct ServerTarget {
  std::u16string server;  // never empty: ServerOf the /SERVER value
  DatabaseLocation database;
  std::u16string user;
  std::u16string password;
};
