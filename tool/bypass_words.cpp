#include "tool/bypass_words.h"

#include "tool/report_text.h"

namespace {

// Several lines of a message (the client library's) as one.
std::string OneLine(std::string text) {
  for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "; ");
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

std::string Origin(const InputOrigin& origin) {
  switch (origin.kind) {
    case InputOrigin::Server:
      return "vom Server";
    case InputOrigin::ServerTable:
      return origin.file.empty() ? "laut RDB$CONFIG Voreinstellung"
                                 : "laut RDB$CONFIG aus " + origin.file;
    case InputOrigin::File:
      return "aus " + origin.file;
    case InputOrigin::Default:
      break;
  }
  return "Voreinstellung";
}

std::string ServerMode(int db_class) {
  if (db_class == 14) return "SuperServer";
  if (db_class == 13) return "Classic oder SuperClassic";
  return "Servermodus " + std::to_string(db_class);
}

// The process serving the port, and where its settings were read.
std::string ServerProcess(const BypassVerdict& v) {
  if (!v.server) return "";
  return ", Serverprozess " + std::to_string(v.server->pid) + " (" + v.server->binary + ", Port " +
         std::to_string(v.port) + ", Konfiguration " + v.server->config_dir + ")";
}

// Each input of the rule with its source.
std::string BypassInputs(const BypassVerdict& v) {
  std::string text = "Page buffers " + std::to_string(v.page_buffers) +
                     " in Kraft (vom Server, isc_info_num_buffers, " + ServerMode(v.db_class);
  if (v.header_buffers != 0)
    text += "; im Kopf der Datenbank gesetzt)";
  else if (v.default_pages)
    text += "; der Kopf sagt 0, also DefaultDbCachePages " + Origin(v.default_pages->origin) + ")";
  else
    text += "; der Kopf sagt 0, also DefaultDbCachePages)";
  if (v.use_file_system_cache)
    text +=
        ", UseFileSystemCache = " + std::string(v.use_file_system_cache->value ? "true" : "false") +
        " (" + Origin(v.use_file_system_cache->origin) + "; entscheidet allein)";
  else if (v.threshold)
    text += ", FileSystemCacheThreshold " + std::to_string(v.threshold->value) + " (" +
            Origin(v.threshold->origin) + ")";
  return text + ServerProcess(v);
}

// Why the threshold is not known: no process, none on the port, or its files unread.
std::string UnknownThreshold(const BypassVerdict& v) {
  std::string text = "FileSystemCacheThreshold ist unbekannt: ";
  if (v.server)
    return text + "die Konfiguration des Serverprozesses " + std::to_string(v.server->pid) +
           " ist nicht lesbar (" + v.server->config_dir + "/firebird.conf)";
  if (v.servers_seen.empty()) return text + "kein Firebird-Serverprozess ist zu sehen";
  text += "keiner der sichtbaren Serverprozesse bedient Port " + std::to_string(v.port) + " (";
  for (size_t i = 0; i < v.servers_seen.size(); ++i) {
    const ServerInstance& s = v.servers_seen[i];
    text += (i ? "; " : "") + std::to_string(s.pid) + " " + s.binary + ": ";
    if (s.config_dir.empty())
      text += "Konfigurationsverzeichnis unbekannt";
    else if (!s.port)
      text += "Port unbekannt";
    else
      text += "Port " + std::to_string(*s.port);
  }
  return text + ")";
}

// What the server process's descriptor shows, measured against the rule.
std::string Evidence(const BypassVerdict& v) {
  const std::string fdinfo = "/proc/" + std::to_string(v.evidence_pid) + "/fdinfo";
  const std::optional<bool>& rule = v.by_rule;
  switch (v.evidence) {
    case DescriptorEvidence::Direct:
      return (rule && !*rule ? "die Einstellungen lassen das nicht erwarten, aber " + fdinfo
                             : "bestaetigt durch " + fdinfo) +
             " (Datei mit O_DIRECT geoeffnet)";
    case DescriptorEvidence::Plain:
      return rule && *rule ? fdinfo +
                                 " zeigt die Datei noch ohne O_DIRECT geoeffnet, die Umgehung "
                                 "gilt ab ihrem naechsten Oeffnen"
                           : fdinfo + " zeigt die Datei ohne O_DIRECT geoeffnet";
    case DescriptorEvidence::NotOpen:
      return "nicht bestaetigt: der Serverprozess " + std::to_string(v.evidence_pid) +
             " hat die Datei nicht zum Schreiben offen";
    case DescriptorEvidence::Unreadable:
      return "nicht bestaetigt: die Dateideskriptoren des Serverprozesses " +
             std::to_string(v.evidence_pid) +
             " sind fuer diesen Benutzer nicht lesbar (dazu braucht es root oder CAP_SYS_PTRACE)";
    case DescriptorEvidence::NotLooked:
      break;
  }
  return "nicht bestaetigt: kein Serverprozess, dessen Deskriptoren sich pruefen liessen";
}

std::string Remedy(const BypassVerdict& v) {
  if (v.use_file_system_cache)
    return "UseFileSystemCache = true setzen (" + Origin(v.use_file_system_cache->origin) + ")";
  return "die Page buffers der Datenbank (gfix -buffers) unter FileSystemCacheThreshold setzen "
         "oder den Schwellwert erhoehen";
}

}  // namespace

std::optional<std::string> BypassLine(const BypassVerdict& verdict) {
  using Outcome = BypassVerdict::Outcome;
  switch (verdict.outcome) {
    case Outcome::NotAsked:
    case Outcome::UsesCache:
      break;
    case Outcome::Unreached:
      return Notice(
          "Ob der Server fuer diese Datenbank den Dateicache umgeht, war nicht festzustellen, die "
          "Abfrage beim Server misslang: " +
          OneLine(Narrow(verdict.failure)));
    case Outcome::Undetermined:
      return Notice(
          "Ob der Server fuer diese Datenbank den Dateicache umgeht, ist nicht festzustellen: " +
          BypassInputs(verdict) + "; " + UnknownThreshold(verdict) + "; " + Evidence(verdict) +
          ".");
    case Outcome::Bypasses:
      return Warning(
          "Der Server umgeht fuer diese Datenbank den Dateicache des Systems, das Lesen der Datei "
          "waermt nichts, was er nutzt. Grundlage: " +
          BypassInputs(verdict) + "; " + Evidence(verdict) + ". Abhilfe: " + Remedy(verdict) + ".");
  }
  return std::nullopt;
}
