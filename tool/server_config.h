// A Firebird server's configuration files read as the server reads them: firebird.conf with the
// files it includes, and the settings block that databases.conf gives one database. Each
// setting keeps the file it was set in, so the operator can be told where a value came from.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A number as the configuration writes it: 2048, 64K, 1M or 1G (binary units).
std::optional<uint64_t> ParseConfigNumber(std::string_view text);
// A yes or no: true, yes, y, on, 1 or false, no, n, off, 0 (letter case ignored).
std::optional<bool> ParseConfigBool(std::string_view text);

struct ConfigSetting {
  std::string value;
  std::string file;  // the file whose line set it
};

// Settings by name, letter case ignored; as in the server, a later line wins.
class ConfigSettings {
 public:
  void Set(std::string_view name, std::string value, std::string file);
  const ConfigSetting* Find(std::string_view name) const;
  // The files that set anything, in the order they were first read.
  const std::vector<std::string>& Files() const { return files_; }

 private:
  std::vector<std::pair<std::string, ConfigSetting>> settings_;
  std::vector<std::string> files_;
};

// Reads a whole file; false when it cannot be read.
using ConfigFileReader = std::function<bool(const std::string& path, std::string& text)>;

// Applies the "Name = value" lines of text, the content of file, onto settings. An
// "include other.conf" line reads that file (relative to file's directory) in its place; names
// with $(...) macros or wildcards are not followed.
void ApplyConfigText(std::string_view text, const std::string& file, ConfigSettings& settings,
                     const ConfigFileReader& read);

// Reads file and what it includes onto settings; false when file itself cannot be read.
bool ApplyConfigFile(const std::string& file, ConfigSettings& settings,
                     const ConfigFileReader& read);

// One "alias = path" entry of databases.conf and its { ... } block of settings, if any.
struct DatabaseEntry {
  std::string alias;
  std::string path;
  std::optional<std::string> block;  // the block's lines, without the braces
};
std::vector<DatabaseEntry> ParseDatabasesConf(std::string_view text);

// The settings block that applies to the database named db (an alias, or a path) by the
// server's rule: an alias stands for its file, and the block belongs to the file, whichever of
// its entries carries it. same_file tells two paths to one file apart from two files.
std::optional<std::string> DatabaseBlock(
    const std::vector<DatabaseEntry>& entries, const std::string& db,
    const std::function<bool(const std::string&, const std::string&)>& same_file);
