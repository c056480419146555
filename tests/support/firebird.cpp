#include "tests/support/firebird.h"

#include <map>
#include <stdexcept>

#include "tests/support/run_process.h"

std::optional<std::string> FirebirdShell(const std::string& snippet) {
  ProcessOptions options;
  options.args = {"-c", ". '" FBWARM_SOURCE_DIR "/scripts/lib/firebird.sh' && " + snippet};
  options.timeout_seconds = 900;  // making the large database takes minutes
  const ProcessResult result = RunProcess("bash", options);
  if (result.exit_code != 0) return std::nullopt;
  std::string out = result.out;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string RealServerUnavailable() {
  static const std::string reason = []() -> std::string {
    if (!FirebirdShell("fb_port_open"))
      return "no Firebird server answers on 127.0.0.1:3050 (scripts/firebird-up)";
    if (FirebirdPassword().empty())
      return "the SYSDBA password cannot be read (/etc/firebird/3.0/SYSDBA.password)";
    return "";
  }();
  return reason;
}

std::string FirebirdPassword() {
  static const std::string password = FirebirdShell("fb_password").value_or("");
  return password;
}

std::string StandardDatabase(const std::string& name) {
  static std::map<std::string, std::string> made;
  if (!made.count(name)) {
    auto path = FirebirdShell("'" FBWARM_SOURCE_DIR "/scripts/make-database' " + name);
    if (!path) throw std::runtime_error("scripts/make-database " + name + " failed");
    made[name] = *path;
  }
  return made[name];
}
