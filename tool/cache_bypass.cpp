#include "tool/cache_bypass.h"

#include <algorithm>
#include <cctype>

#include "base/text.h"
#include "platform/files.h"

namespace {

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
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

std::string ToAscii(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
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
  const std::string_view unit = text.substr(i);
  int shift = 0;
  if (unit.empty())
    shift = 0;
  else if (EqualsIgnoringCase(unit, "k"))
    shift = 10;
  else if (EqualsIgnoringCase(unit, "m"))
    shift = 20;
  else if (EqualsIgnoringCase(unit, "g"))
    shift = 30;
  else
    return std::nullopt;
  if (shift && value > (UINT64_MAX >> shift)) return std::nullopt;
  return value << shift;
}

void ApplyConfigText(std::string_view text, ServerCacheConfig& config) {
  ForEachLine(text, [&](std::string_view line) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (EqualsIgnoringCase(key, "ServerMode") && !EqualsIgnoringCase(value, "Super") &&
        !EqualsIgnoringCase(value, "ThreadedDedicated"))
      config.default_pages = 256;  // Classic and SuperClassic cache per attachment
    std::optional<uint64_t> number = ParseConfigNumber(value);
    if (!number) return;
    if (EqualsIgnoringCase(key, "FileSystemCacheThreshold")) config.threshold = *number;
    if (EqualsIgnoringCase(key, "DefaultDbCachePages")) config.default_pages = *number;
  });
}

std::optional<std::string> DatabaseBlock(std::string_view databases_conf,
                                         const std::string& db_path) {
  // Entries are "alias = path" lines, each optionally followed by a { ... } block of settings;
  // the database may be named by either side.
  bool matched = false, inside = false;
  std::string block;
  std::optional<std::string> found;
  ForEachLine(databases_conf, [&](std::string_view line) {
    if (found || line.empty()) return;
    if (inside) {
      const size_t close = line.find('}');
      const std::string_view content = Trim(line.substr(0, close));
      if (matched && !content.empty()) block.append(content).append("\n");
      if (close == std::string_view::npos) return;
      inside = false;
      if (matched) found = block;
      return;
    }
    if (line.front() == '{') {
      inside = true;
      block.clear();
      return;
    }
    if (matched) {  // the entry before had no block
      found = std::string();
      return;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    matched = Trim(line.substr(0, equals)) == db_path || Trim(line.substr(equals + 1)) == db_path;
  });
  if (!found && matched && !inside) found = std::string();
  return found;
}

ServerCacheConfig ReadServerCacheConfig(const std::string& db_path,
                                        const std::vector<std::string>& config_dirs) {
  ServerCacheConfig config;
  for (const std::string& dir : config_dirs) {
    std::string text;
    const std::string conf = dir + "/firebird.conf";
    if (!ReadWholeFile(std::u16string(conf.begin(), conf.end()), text)) continue;
    ApplyConfigText(text, config);
    config.sources.push_back(conf);
    const std::string databases = dir + "/databases.conf";
    if (ReadWholeFile(std::u16string(databases.begin(), databases.end()), text)) {
      if (std::optional<std::string> block = DatabaseBlock(text, db_path)) {
        ApplyConfigText(*block, config);
        if (!block->empty()) config.sources.push_back(databases);
      }
    }
    break;
  }
  return config;
}

const std::vector<std::string>& ServerConfigDirs() {
  static const std::vector<std::string> dirs = {"/etc/firebird/3.0", "/etc/firebird/4.0",
                                                "/etc/firebird/5.0", "/opt/firebird"};
  return dirs;
}

std::optional<uint64_t> PageBuffersOfReportLine(std::u16string_view line) {
  const std::string text = ToAscii(line);
  const std::string_view trimmed = Trim(text);
  constexpr std::string_view kLabel = "Page buffers";
  if (trimmed.substr(0, kLabel.size()) != kLabel) return std::nullopt;
  const std::string_view value = Trim(trimmed.substr(kLabel.size()));
  if (value.empty() || value.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  return ParseConfigNumber(value);
}

bool IsLocalServer(std::u16string_view server) {
  std::string text = ToAscii(server);
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string host = text, port;
  if (const size_t slash = text.rfind('/'); slash != std::string::npos) {
    host = text.substr(0, slash);
    port = text.substr(slash + 1);
  }
  if (!port.empty() && port != "3050" && port != "gds_db") return false;
  return host.empty() || host == "127.0.0.1" || host == "localhost" || host == "::1" ||
         host == "[::1]";
}

BypassEvidence GatherBypassEvidence(const std::string& db_path,
                                    std::optional<uint64_t> page_buffers,
                                    const std::vector<ForeignOpening>& openings) {
  BypassEvidence evidence;
  evidence.config = ReadServerCacheConfig(db_path, ServerConfigDirs());
  evidence.configured = page_buffers && BypassesFileCache(*page_buffers, evidence.config);
  for (const ForeignOpening& o : openings) {
    if (!o.writable) continue;
    int& pid = o.direct ? evidence.direct_pid : evidence.plain_pid;
    if (!pid) pid = o.pid;
  }
  return evidence;
}
