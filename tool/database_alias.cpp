#include "tool/database_alias.h"

#include <algorithm>
#include <cctype>

#include "platform/files.h"
#include "platform/text_encoding.h"

namespace {

// Debian's packages are built for this multiarch directory; the package of fbwarm is too.
constexpr const char* kDebianLibDir = "/usr/lib/x86_64-linux-gnu/firebird/";
constexpr std::string_view kDebianConfDir = "/etc/firebird/";

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The directories of an installation that keeps everything below root, as Firebird's own
// kits and Debian's packages from 4.0 on do.
FirebirdDirectories BelowOneRoot(const std::string& root) {
  return {{{"root", root},
           {"dir_conf", root},
           {"dir_secdb", root},
           {"dir_plugins", root + "/plugins"},
           {"dir_udf", root + "/UDF"},
           {"dir_sample", root + "/examples"},
           {"dir_sampledb", root + "/examples/empbuild"},
           {"dir_intl", root + "/intl"},
           {"dir_msg", root}}};
}

std::string Unquoted(const std::string& text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    return text.substr(1, text.size() - 2);
  return text;
}

}  // namespace

FirebirdDirectories DirectoriesOfInstallation(const std::string& config_dir) {
  if (config_dir.rfind(kDebianConfDir, 0) != 0) return BelowOneRoot(config_dir);
  const std::string version = config_dir.substr(kDebianConfDir.size());
  const std::string root = kDebianLibDir + version;
  if (version != "3.0") return BelowOneRoot(root);
  // firebird3.0 follows the file system standard: the security database under /var, the
  // examples with the documentation.
  const std::string doc = "/usr/share/doc/firebird3.0-common-doc/examples";
  FirebirdDirectories directories = BelowOneRoot(root);
  for (auto& [name, path] : directories.macros) {
    if (name == "dir_secdb") path = "/var/lib/firebird/3.0/system";
    if (name == "dir_sample") path = doc;
    if (name == "dir_sampledb") path = doc + "/empbuild";
  }
  return directories;
}

std::optional<std::string> ExpandConfigMacros(std::string_view text,
                                              const FirebirdDirectories& directories,
                                              const std::string& this_dir) {
  std::string out;
  while (true) {
    const size_t open = text.find("$(");
    if (open == std::string_view::npos) break;
    const size_t close = text.find(')', open + 2);
    if (close == std::string_view::npos) return std::nullopt;
    out.append(text.substr(0, open));
    const std::string name(text.substr(open + 2, close - open - 2));
    const auto known =
        std::find_if(directories.macros.begin(), directories.macros.end(), [&](const auto& macro) {
          return macro.first.rfind("dir_", 0) == 0 ? Lower(name) == macro.first
                                                   : name == macro.first;
        });
    if (name == "this")
      out += this_dir;
    else if (known != directories.macros.end())
      out += known->second;
    else
      return std::nullopt;
    text.remove_prefix(close + 1);
  }
  out.append(text);
  return out;
}

std::optional<std::string> AliasFile(const std::vector<DatabaseEntry>& entries,
                                     const std::string& db, const std::string& config_dir) {
  const DatabaseEntry* found = nullptr;
  for (const DatabaseEntry& entry : entries) {
    if (entry.alias != db) continue;
    if (found) return std::nullopt;  // the server refuses a databases.conf with a doubled alias
    found = &entry;
  }
  if (!found) return std::nullopt;
  const std::optional<std::string> path =
      ExpandConfigMacros(Unquoted(found->path), DirectoriesOfInstallation(config_dir), config_dir);
  // The server ignores an alias whose file is no absolute path.
  if (!path || path->empty() || path->front() != '/') return std::nullopt;
  return path;
}

std::optional<AliasTarget> ResolveLocalAlias(const std::u16string& db, const std::u16string& server,
                                             const std::vector<RunningProcess>& processes,
                                             const FileAccess& files) {
  if (db.empty() || !IsLocalServer(server)) return std::nullopt;
  const std::optional<uint16_t> port = ServerPort(server);
  if (!port) return std::nullopt;
  const std::optional<ServerInstance> instance =
      ServerForPort(FirebirdServers(processes, files), *port);
  if (!instance || instance->config_dir.empty()) return std::nullopt;
  // The server may see another root (a chroot or a container): its paths are read through it.
  std::string root;
  for (const RunningProcess& process : processes)
    if (process.pid == instance->pid) root = process.root;
  const std::string conf_file = instance->config_dir + "/databases.conf";
  std::string text;
  if (!files.read(conf_file, text)) return std::nullopt;
  // config_dir already holds root; macros and the alias's file are the server's own paths.
  const std::string server_config_dir = instance->config_dir.substr(root.size());
  const std::optional<std::string> file =
      AliasFile(ParseDatabasesConf(text), ToNarrow(db), server_config_dir);
  if (!file) return std::nullopt;
  return AliasTarget{FromNarrow(root + *file), FromNarrow(conf_file)};
}

AliasLookup SystemAliasLookup() {
  return [](const std::u16string& db, const std::u16string& server) {
    FileAccess files;
    files.read = [](const std::string& path, std::string& text) {
      return ReadWholeFile(FromNarrow(path), text);
    };
    files.exists = [](const std::string& path) { return IsLocalFile(FromNarrow(path)); };
    return ResolveLocalAlias(db, server, RunningProcesses(), files);
  };
}
