#include "tests/support/scratch_database.h"

#include <unistd.h>

ScratchDatabase::ScratchDatabase(const FirebirdServer& server, const std::string& name)
    : server_(server) {
  const std::optional<std::string> dir = FirebirdShell(
      "d=\"$FBWARM_DB_DIR/scratch-engine-" + std::to_string(getpid()) +
          "\" && install -d -o firebird -g firebird -m 0770 \"$d\" && install -o firebird -g "
          "firebird -m 0660 '" +
          StandardDatabase(name, server) + "' \"$d/db.fdb\" && echo \"$d\"",
      server);
  if (dir) {
    dir_ = *dir;
    path_ = dir_ + "/db.fdb";
  }
}

ScratchDatabase::~ScratchDatabase() {
  if (dir_.empty()) return;
  Gfix(server_, path_, "-shut full -force 0");
  FirebirdShell("rm -rf '" + dir_ + "'", server_);
}

bool ScratchDatabase::Close() {
  return Gfix(server_, path_, "-shut full -force 0") && Gfix(server_, path_, "-online normal");
}

std::optional<std::string> IsqlOutput(const FirebirdServer& server, const std::string& database,
                                      const std::string& sql) {
  const std::string target = database.empty() ? "" : "\"$FB_HOST/$FB_PORT:" + database + "\"";
  return FirebirdShell("fb_tool isql-fb -q -bail -user SYSDBA -password \"$(fb_password)\" " +
                           target + " <<'SQL'\n" + sql + "\nSQL",
                       server);
}

bool Gfix(const FirebirdServer& server, const std::string& database, const std::string& arguments) {
  return FirebirdShell("fb_tool gfix " + arguments +
                           " -user SYSDBA -password \"$(fb_password)\" \"$FB_HOST/$FB_PORT:" +
                           database + "\"",
                       server)
      .has_value();
}
