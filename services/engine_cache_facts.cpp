#include "services/engine_cache_facts.h"

#include <algorithm>
#include <cctype>

#include "ibclient/errors.h"

namespace {

constexpr char kItems[] = {isc_info_num_buffers, isc_info_set_page_buffers,  isc_info_db_class,
                           isc_info_ods_version, isc_info_ods_minor_version, isc_info_page_size};

// The settings that decide whether the engine reads through the file cache, and how large
// its own cache is.
constexpr char kSettingsQuery[] =
    "SELECT RDB$CONFIG_NAME, RDB$CONFIG_VALUE, RDB$CONFIG_IS_SET, RDB$CONFIG_SOURCE "
    "FROM RDB$CONFIG WHERE RDB$CONFIG_NAME IN ('UseFileSystemCache', "
    "'FileSystemCacheThreshold', 'DefaultDbCachePages', 'ServerMode')";

std::string Text(const SqlValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    const size_t end = text->find_last_not_of(' ');  // CHAR columns come padded
    return end == std::string::npos ? std::string() : text->substr(0, end + 1);
  }
  if (const auto* number = std::get_if<int64_t>(&value)) return std::to_string(*number);
  return {};
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::optional<std::vector<EngineSetting>> AskSettings(DatabaseAttachment& attachment) {
  if (!attachment.HasRelation("RDB$CONFIG")) return std::nullopt;
  std::vector<EngineSetting> settings;
  for (const SqlRow& row : attachment.Query(kSettingsQuery)) {
    if (row.size() != 4) throw EIBClientError(0, u"Unexpected answer from the server: RDB$CONFIG");
    const auto* is_set = std::get_if<int64_t>(&row[2]);
    settings.push_back({Text(row[0]), Text(row[1]), is_set && *is_set != 0, Text(row[3])});
  }
  // A user who may not read the server's settings sees no rows: nothing told.
  if (settings.empty()) return std::nullopt;
  return settings;
}

}  // namespace

const EngineSetting* EngineCacheFacts::Setting(const std::string& name) const {
  if (!settings) return nullptr;
  for (const EngineSetting& setting : *settings)
    if (EqualsIgnoringCase(setting.name, name)) return &setting;
  return nullptr;
}

EngineCacheFacts AskEngineCacheFacts(DatabaseAttachment& attachment) {
  const InfoAnswer answer = attachment.Info(std::string_view(kItems, sizeof kItems));
  const std::optional<int64_t> buffers = answer.Integer(isc_info_num_buffers);
  if (!buffers)
    throw EIBClientError(0, u"Unexpected answer from the server: no isc_info_num_buffers");
  EngineCacheFacts facts;
  facts.page_buffers = static_cast<uint64_t>(*buffers);
  facts.header_buffers =
      static_cast<uint64_t>(answer.Integer(isc_info_set_page_buffers).value_or(0));
  facts.db_class = static_cast<int>(answer.Integer(isc_info_db_class).value_or(0));
  facts.ods_major = static_cast<int>(answer.Integer(isc_info_ods_version).value_or(0));
  facts.ods_minor = static_cast<int>(answer.Integer(isc_info_ods_minor_version).value_or(0));
  facts.page_size = static_cast<uint32_t>(answer.Integer(isc_info_page_size).value_or(0));
  facts.settings = AskSettings(attachment);
  return facts;
}
