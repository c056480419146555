// A copy of a server's standard database for one test, in a directory of its own under the
// server's database directory (Firebird 4 sees only that one), removed with everything in it
// afterwards; and statements run on it with the server's own isql and gfix.
#pragma once

#include <optional>
#include <string>

#include "tests/support/firebird.h"

class ScratchDatabase {
 public:
  // A copy of the standard database `name` (scripts/make-database); Path() is empty when the
  // copy could not be made.
  explicit ScratchDatabase(const FirebirdServer& server, const std::string& name = "small");
  // Shuts the copy down first when asked to (Close), so that a lingering server lets go of it.
  ~ScratchDatabase();
  ScratchDatabase(const ScratchDatabase&) = delete;
  ScratchDatabase& operator=(const ScratchDatabase&) = delete;

  const std::string& Path() const { return path_; }
  const std::string& Directory() const { return dir_; }

  // Makes the server close the database now, whatever its linger, and opens it for use again:
  // what the server cached of it is gone. False when gfix fails.
  bool Close();

 private:
  FirebirdServer server_;
  std::string dir_, path_;
};

// Runs statements with the server's own isql as SYSDBA, attached to database (or to none when
// it is empty: for CREATE DATABASE); its standard output, nothing when isql fails.
std::optional<std::string> IsqlOutput(const FirebirdServer& server, const std::string& database,
                                      const std::string& sql);
inline bool Isql(const FirebirdServer& server, const std::string& database,
                 const std::string& sql) {
  return IsqlOutput(server, database, sql).has_value();
}

// Runs the server's own gfix as SYSDBA with the arguments before the database; false on failure.
bool Gfix(const FirebirdServer& server, const std::string& database, const std::string& arguments);
