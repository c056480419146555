#include "tool/server_config.h"

#include <algorithm>
#include <cctype>

namespace {

// Includes are followed this deep at most, so that a file including itself ends.
constexpr int kMaxIncludeDepth = 8;

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// A line without its comment (from '#' on).
std::string_view Uncommented(std::string_view line) { return Trim(line.substr(0, line.find('#'))); }

template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    visit(Uncommented(text.substr(0, end)));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

// "include name": the name, or nothing for any other line.
std::optional<std::string_view> IncludeTarget(std::string_view line) {
  constexpr std::string_view kInclude = "include";
  if (line.size() <= kInclude.size() || Lower(line.substr(0, kInclude.size())) != kInclude ||
      !std::isspace(static_cast<unsigned char>(line[kInclude.size()])))
    return std::nullopt;
  return Trim(line.substr(kInclude.size()));
}

std::string Directory(const std::string& file) {
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? std::string(".") : file.substr(0, slash);
}

void Apply(std::string_view text, const std::string& file, ConfigSettings& settings,
           const ConfigFileReader& read, int depth);

bool ApplyFile(const std::string& file, ConfigSettings& settings, const ConfigFileReader& read,
               int depth) {
  std::string text;
  if (depth > kMaxIncludeDepth || !read(file, text)) return false;
  Apply(text, file, settings, read, depth);
  return true;
}

void Apply(std::string_view text, const std::string& file, ConfigSettings& settings,
           const ConfigFileReader& read, int depth) {
  ForEachLine(text, [&](std::string_view line) {
    if (const std::optional<std::string_view> target = IncludeTarget(line)) {
      if (target->empty() || target->find("$(") != std::string_view::npos ||
          target->find_first_of("*?") != std::string_view::npos)
        return;
      const std::string path = target->front() == '/'
                                   ? std::string(*target)
                                   : Directory(file) + "/" + std::string(*target);
      ApplyFile(path, settings, read, depth + 1);
      return;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    const std::string_view name = Trim(line.substr(0, equals));
    if (!name.empty()) settings.Set(name, std::string(Trim(line.substr(equals + 1))), file);
  });
}

}  // namespace

std::optional<uint64_t> ParseConfigNumber(std::string_view text) {
  text = Trim(text);
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return std::nullopt;
  uint64_t value = 0;
  size_t i = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    if (value > (UINT64_MAX - 9) / 10) return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  const std::string unit = Lower(text.substr(i));
  int shift = 0;
  if (unit.empty())
    shift = 0;
  else if (unit == "k")
    shift = 10;
  else if (unit == "m")
    shift = 20;
  else if (unit == "g")
    shift = 30;
  else
    return std::nullopt;
  if (shift && value > (UINT64_MAX >> shift)) return std::nullopt;
  return value << shift;
}

std::optional<bool> ParseConfigBool(std::string_view text) {
  const std::string word = Lower(Trim(text));
  if (word == "true" || word == "yes" || word == "y" || word == "on" || word == "1") return true;
  if (word == "false" || word == "no" || word == "n" || word == "off" || word == "0") return false;
  return std::nullopt;
}

void ConfigSettings::Set(std::string_view name, std::string value, std::string file) {
  if (std::find(files_.begin(), files_.end(), file) == files_.end()) files_.push_back(file);
  const std::string key = Lower(name);
  for (auto& [existing, setting] : settings_) {
    if (existing != key) continue;
    setting = {std::move(value), std::move(file)};
    return;
  }
  settings_.push_back({key, {std::move(value), std::move(file)}});
}

const ConfigSetting* ConfigSettings::Find(std::string_view name) const {
  const std::string key = Lower(name);
  for (const auto& [existing, setting] : settings_)
    if (existing == key) return &setting;
  return nullptr;
}

void ApplyConfigText(std::string_view text, const std::string& file, ConfigSettings& settings,
                     const ConfigFileReader& read) {
  Apply(text, file, settings, read, 0);
}

bool ApplyConfigFile(const std::string& file, ConfigSettings& settings,
                     const ConfigFileReader& read) {
  return ApplyFile(file, settings, read, 0);
}

std::vector<DatabaseEntry> ParseDatabasesConf(std::string_view text) {
  std::vector<DatabaseEntry> entries;
  bool inside = false;
  std::string block;
  ForEachLine(text, [&](std::string_view line) {
    if (line.empty()) return;
    if (!inside && line.front() == '{') {
      inside = true;
      block.clear();
      line.remove_prefix(1);
    }
    if (inside) {
      const size_t close = line.find('}');
      const std::string_view content = Trim(line.substr(0, close));
      if (!content.empty()) block.append(content).append("\n");
      if (close == std::string_view::npos) return;
      inside = false;
      // A block without an entry before it belongs to nothing.
      if (!entries.empty() && !entries.back().block) entries.back().block = block;
      return;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    entries.push_back({std::string(Trim(line.substr(0, equals))),
                       std::string(Trim(line.substr(equals + 1))), std::nullopt});
  });
  return entries;
}

std::optional<std::string> DatabaseBlock(
    const std::vector<DatabaseEntry>& entries, const std::string& db,
    const std::function<bool(const std::string&, const std::string&)>& same_file) {
  std::string file = db;
  for (const DatabaseEntry& entry : entries)
    if (entry.alias == db) file = entry.path;
  for (const DatabaseEntry& entry : entries)
    if (entry.block && (entry.path == file || same_file(entry.path, file))) return entry.block;
  return std::nullopt;
}
