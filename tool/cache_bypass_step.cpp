#include "tool/cache_bypass_step.h"

#include <exception>
#include <new>

#include "base/exceptions.h"
#include "platform/files.h"
#include "platform/text_encoding.h"
#include "services/database_attachment.h"
#include "services/engine_cache_facts.h"

namespace {

constexpr uint64_t kDefaultThreshold = 65536;  // FileSystemCacheThreshold's default, in pages

// An effective setting as the server's RDB$CONFIG gives it.
template <class T>
std::optional<VerdictInput<T>> FromTable(const EngineSetting* setting,
                                         std::optional<T> (*parse)(std::string_view)) {
  if (!setting) return std::nullopt;
  const std::optional<T> value = parse(setting->value);
  if (!value) return std::nullopt;
  return VerdictInput<T>{*value,
                         {InputOrigin::ServerTable, setting->is_set ? setting->source : ""}};
}

// A setting of the configuration files, or its default where the files leave it unset.
template <class T>
std::optional<VerdictInput<T>> FromFiles(const ConfigSettings& settings, const std::string& name,
                                         std::optional<T> (*parse)(std::string_view),
                                         std::optional<T> fallback) {
  if (const ConfigSetting* setting = settings.Find(name))
    if (const std::optional<T> value = parse(setting->value))
      return VerdictInput<T>{*value, {InputOrigin::File, setting->file}};
  if (!fallback) return std::nullopt;
  return VerdictInput<T>{*fallback, {InputOrigin::Default, ""}};
}

// firebird.conf of the server's installation with the block that databases.conf gives db.
std::optional<ConfigSettings> ServerSettings(const std::string& config_dir, const std::string& db,
                                             const FileAccess& files, const std::string& root) {
  ConfigSettings settings;
  if (!ApplyConfigFile(config_dir + "/firebird.conf", settings, files.read)) return std::nullopt;
  const std::string databases = config_dir + "/databases.conf";
  std::string text;
  if (files.read(databases, text)) {
    const auto same_file = [&](const std::string& a, const std::string& b) {
      return IsSameFile(FromNarrow(root + a), FromNarrow(root + b));
    };
    if (const auto block = DatabaseBlock(ParseDatabasesConf(text), db, same_file))
      ApplyConfigText(*block, databases, settings, files.read);
  }
  return settings;
}

// What the server cannot tell, from the configuration of the process that serves the port.
// newer_rules: UseFileSystemCache counts (Firebird 4 and later) and the server's table did not
// already say whether it is set.
void ReadServerFiles(BypassVerdict& verdict, const std::string& db,
                     const std::vector<RunningProcess>& processes, const BypassSources& sources,
                     bool newer_rules) {
  verdict.servers_seen = FirebirdServers(processes, sources.files);
  verdict.server = ServerForPort(verdict.servers_seen, verdict.port);
  if (!verdict.server || verdict.server->config_dir.empty()) return;
  std::string root;
  for (const RunningProcess& process : processes)
    if (process.pid == verdict.server->pid) root = process.root;
  const std::optional<ConfigSettings> settings =
      ServerSettings(verdict.server->config_dir, db, sources.files, root);
  if (!settings) return;
  if (newer_rules && !verdict.use_file_system_cache) {
    if (const ConfigSetting* use = settings->Find("UseFileSystemCache"))
      if (const std::optional<bool> value = ParseConfigBool(use->value))
        verdict.use_file_system_cache = VerdictInput<bool>{*value, {InputOrigin::File, use->file}};
  }
  if (!verdict.threshold)
    verdict.threshold = FromFiles<uint64_t>(*settings, "FileSystemCacheThreshold",
                                            ParseConfigNumber, kDefaultThreshold);
  if (verdict.header_buffers == 0 && !verdict.default_pages)
    verdict.default_pages = FromFiles<uint64_t>(*settings, "DefaultDbCachePages", ParseConfigNumber,
                                                verdict.page_buffers);
}

void LookAtDescriptor(BypassVerdict& verdict, const std::u16string& db,
                      const BypassSources& sources) {
  if (!verdict.server) return;
  verdict.evidence_pid = verdict.server->pid;
  const auto openings = sources.openings(verdict.server->pid, db);
  if (!openings) {
    verdict.evidence = DescriptorEvidence::Unreadable;
    return;
  }
  verdict.evidence = DescriptorEvidence::NotOpen;
  for (const ForeignOpening& opening : *openings) {
    if (!opening.writable) continue;
    verdict.evidence = opening.direct ? DescriptorEvidence::Direct : DescriptorEvidence::Plain;
    if (opening.direct) break;
  }
}

void Investigate(BypassVerdict& verdict, const ServerTarget& target, const BypassSources& sources) {
  const std::u16string& database = target.database.path;
  DatabaseAttachment attachment(sources.library,
                                {target.server, database, target.user, target.password});
  const EngineCacheFacts facts = AskEngineCacheFacts(attachment);
  verdict.page_buffers = facts.page_buffers;
  verdict.header_buffers = facts.header_buffers;
  verdict.db_class = facts.db_class;
  verdict.use_file_system_cache =
      FromTable<bool>(facts.Setting("UseFileSystemCache"), ParseConfigBool);
  if (verdict.use_file_system_cache && verdict.use_file_system_cache->origin.file.empty())
    verdict.use_file_system_cache.reset();  // not set: the threshold decides
  verdict.threshold =
      FromTable<uint64_t>(facts.Setting("FileSystemCacheThreshold"), ParseConfigNumber);
  if (verdict.header_buffers == 0)
    verdict.default_pages =
        FromTable<uint64_t>(facts.Setting("DefaultDbCachePages"), ParseConfigNumber);

  const std::vector<RunningProcess> processes = sources.processes();
  // ODS 13 is Firebird 4's: from there on UseFileSystemCache counts.
  ReadServerFiles(verdict, ToNarrow(database), processes, sources,
                  facts.ods_major >= 13 && !facts.settings);
  // While this attachment holds the database open, the server's descriptor is there to see.
  // The attachment ends with the scope; a failure to end it changes nothing found.
  LookAtDescriptor(verdict, database, sources);
}

}  // namespace

BypassSources SystemBypassSources() {
  BypassSources sources;
  sources.library = SharedClientLibrary();
  sources.processes = RunningProcesses;
  sources.openings = OpeningsByProcess;
  sources.files.read = [](const std::string& path, std::string& text) {
    return ReadWholeFile(FromNarrow(path), text);
  };
  sources.files.exists = [](const std::string& path) { return IsLocalFile(FromNarrow(path)); };
  return sources;
}

BypassVerdict FindBypassVerdict(const ServerTarget& target, const BypassSources& sources) {
  BypassVerdict verdict;
  if (!IsLocalServer(target.server) || !target.database.IsLocalFile()) return verdict;
  verdict.port = ServerPort(target.server).value_or(0);
  try {
    Investigate(verdict, target, sources);
  } catch (const Exception& e) {
    verdict.outcome = BypassVerdict::Outcome::Unreached;
    verdict.failure = e.Message();
    return verdict;
  } catch (const std::bad_alloc&) {
    verdict.outcome = BypassVerdict::Outcome::Unreached;
    verdict.failure = EOutOfMemory().Message();
    return verdict;
  } catch (const std::exception& e) {
    verdict.outcome = BypassVerdict::Outcome::Unreached;
    verdict.failure = FromNarrow(e.what());
    return verdict;
  }
  DecideBypass(verdict);
  return verdict;
}
