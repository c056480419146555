#include "tool/operator_report.h"

#include <algorithm>
#include <cstdio>

#include "platform/console.h"
#include "platform/open_files.h"
#include "platform/text_encoding.h"

namespace {

// Progress is redrawn at most this often.
constexpr auto kProgressInterval = std::chrono::milliseconds(250);

std::string Narrow(std::u16string_view text) { return ToNarrow(text); }

std::string Percent(const ResidentPages& pages) {
  const uint64_t share = pages.total == 0 ? 100 : pages.resident * 100 / pages.total;
  return std::to_string(share) + " %";
}

std::string Fixed1(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string Rate(uint64_t bytes, double seconds) {
  if (seconds <= 0) return "-";
  return FormatBytes(static_cast<uint64_t>(static_cast<double>(bytes) / seconds)) + "/s";
}

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
  const std::optional<bool> rule = BypassByRule(v);
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

std::string Octal(int mode) {
  char text[16];
  std::snprintf(text, sizeof text, "%04o", mode);
  return text;
}

}  // namespace

void ConsoleErrorChannel::Line(const std::string& text) {
  ConsoleFlush();
  ConsoleWriteError(text + "\n");
}

void ConsoleErrorChannel::Redraw(const std::string& text) {
  // Spaces over what is left of a longer line drawn before; nothing else moves the cursor.
  std::string line = "\r" + text;
  if (drawn_ > text.size()) line += std::string(drawn_ - text.size(), ' ') + "\r" + text;
  if (text.empty()) line += "\r";
  drawn_ = text.size();
  ConsoleWriteError(line);
}

bool ConsoleErrorChannel::IsTerminal() { return StandardErrorIsTerminal(); }

std::optional<uint64_t> CacheShortfall(uint64_t size, uint64_t available, uint64_t resident) {
  const uint64_t room = available + std::min(resident, size);
  if (size <= room) return std::nullopt;
  return room;
}

SkipRefusal DecideSkip(ResidencyState residency, uint64_t size, std::optional<uint64_t> available) {
  if (residency == ResidencyState::HiddenFromUser) return SkipRefusal::ResidencyHidden;
  if (residency != ResidencyState::Trusted) return SkipRefusal::ResidencyUnavailable;
  if (available && size > *available / 2) return SkipRefusal::FileTooLarge;
  return SkipRefusal::None;
}

void OperatorReport::Warn(const std::string& text) { channel_.Line("fbwarm: WARNUNG: " + text); }

void OperatorReport::PathUnreachable(const std::u16string& path, const std::u16string& directory) {
  const std::string where =
      directory.empty() ? "ein Verzeichnis auf dem Weg" : "das Verzeichnis " + Narrow(directory);
  Warn("Der Pfad " + Narrow(path) +
       " ist vielleicht lokal, kann aber nicht erreicht werden: " + where +
       " darf von diesem Benutzer nicht durchsucht werden. Der Dateicache wurde nicht "
       "gefuellt; fbwarm als Benutzer des Servers oder als root starten, oder das Suchrecht (x) "
       "auf dem Verzeichnis geben.");
}

void OperatorReport::FileUnreadable(const std::u16string& path, const std::u16string& reason,
                                    const FileOwnership& ownership) {
  std::string facts;
  if (!ownership.owner.empty()) facts += "Eigentuemer " + Narrow(ownership.owner);
  if (ownership.mode >= 0)
    facts += (facts.empty() ? "" : ", ") + ("Modus " + Octal(ownership.mode));
  Warn("Die Datenbankdatei " + Narrow(path) + " kann nicht gelesen werden: " + Narrow(reason) +
       (facts.empty() ? "" : " (" + facts + ")") +
       ". Der Dateicache wurde nicht gefuellt; fbwarm als Benutzer des Servers oder als root "
       "starten, oder diesem Benutzer das Leserecht geben.");
}

void OperatorReport::ReadBroken(const std::u16string& path, const std::u16string& reason,
                                uint64_t done) {
  Warn("Das Lesen der Datenbankdatei " + Narrow(path) + " brach nach " + FormatBytes(done) +
       " ab: " + Narrow(reason) + ". Der Rest der Datei wurde nicht in den Dateicache gelesen.");
}

void OperatorReport::MemoryShort(uint64_t size, uint64_t available, uint64_t resident) {
  const std::optional<uint64_t> room = CacheShortfall(size, available, resident);
  if (!room) return;
  Warn("Die Datenbankdatei (" + FormatBytes(size) +
       ") ist groesser als der Speicher, den der "
       "Dateicache nutzen kann (" +
       FormatBytes(available) + " verfuegbar, " + FormatBytes(std::min(resident, size)) +
       " der Datei schon im Cache): nur etwa " + FormatBytes(*room) +
       " der Datei koennen im Cache bleiben; das Lesen verdraengt ihren "
       "Anfang und andere Daten aus dem Cache.");
}

void OperatorReport::SkipRefused(SkipRefusal why, uint64_t size, uint64_t available) {
  std::string reason;
  switch (why) {
    case SkipRefusal::None:
      return;
    case SkipRefusal::ResidencyHidden:
      reason = "dieser Benutzer die Belegung des Dateicaches nicht sehen kann";
      break;
    case SkipRefusal::ResidencyUnavailable:
      reason = "die Belegung des Dateicaches auf diesem System nicht feststellbar ist";
      break;
    case SkipRefusal::FileTooLarge:
      reason = "die Datei (" + FormatBytes(size) +
               ") groesser ist als die Haelfte des "
               "verfuegbaren Speichers (" +
               FormatBytes(available) + ")";
      break;
  }
  channel_.Line("fbwarm: SKIPCACHED: die ganze Datei wird gelesen, weil " + reason + ".");
}

void OperatorReport::Progress(uint64_t done, uint64_t total) {
  if (!channel_.IsTerminal()) return;
  const auto now = std::chrono::steady_clock::now();
  if (!progress_shown_) {
    progress_start_ = now;
  } else if (now - progress_last_ < kProgressInterval) {
    return;
  }
  progress_last_ = now;
  progress_shown_ = true;
  done = std::min(done, total);
  const double seconds = std::chrono::duration<double>(now - progress_start_).count();
  std::string text = "fbwarm: Dateicache: " + std::to_string(total ? done * 100 / total : 100) +
                     " % (" + FormatBytes(done) + " von " + FormatBytes(total) + ")";
  if (seconds > 0 && done > 0) {
    const double rate = static_cast<double>(done) / seconds;
    text += ", " + Rate(done, seconds) + ", noch " +
            std::to_string(static_cast<uint64_t>(static_cast<double>(total - done) / rate)) + " s";
  }
  channel_.Redraw(text);
}

void OperatorReport::ProgressEnd() {
  if (progress_shown_) channel_.Redraw("");
  progress_shown_ = false;
}

void OperatorReport::ReadThroughDone(const ReadThroughSummary& s) {
  std::string text = "fbwarm: Dateicache: ";
  if (s.residency == ResidencyState::Trusted) {
    const uint64_t resident = std::min(s.size, s.after.resident * s.page_size);
    text += FormatBytes(resident) + " von " + FormatBytes(s.size) + " im Cache (" +
            Percent(s.after) + "), vorher " + Percent(s.before);
  } else if (s.residency == ResidencyState::HiddenFromUser) {
    text += FormatBytes(s.size) +
            ", Anteil im Cache fuer diesen Benutzer nicht sichtbar "
            "(nur fuer den Eigentuemer der Datei, wer sie schreiben darf, oder root)";
  } else {
    text += FormatBytes(s.size) + ", Anteil im Cache nicht feststellbar";
  }
  text += "; gelesen " + FormatBytes(s.bytes_read) + " in " + Fixed1(s.seconds) + " s (" +
          Rate(s.bytes_read, s.seconds) + ")";
  const uint64_t skipped = std::min(s.bytes_skipped, s.size - std::min(s.size, s.bytes_read));
  if (skipped > 0) text += ", " + FormatBytes(skipped) + " schon im Cache und uebersprungen";
  channel_.Line(text);
}

void OperatorReport::PathMissingHere(const std::u16string& path, const std::u16string& server) {
  Warn("Den Pfad " + Narrow(path) + " gibt es auf diesem Rechner nicht, obwohl der Server (" +
       Narrow(server.empty() ? u"127.0.0.1" : server) +
       ") hier laeuft; der Dateicache wurde nicht gefuellt. Den Pfad pruefen: der Server liest "
       "die Datei unter demselben Pfad.");
}

void OperatorReport::CacheBypass(const BypassVerdict& verdict) {
  using Outcome = BypassVerdict::Outcome;
  switch (verdict.outcome) {
    case Outcome::NotAsked:
    case Outcome::UsesCache:
      return;
    case Outcome::Unreached:
      channel_.Line(
          "fbwarm: Ob der Server fuer diese Datenbank den Dateicache umgeht, war nicht "
          "festzustellen, die Abfrage beim Server misslang: " +
          OneLine(Narrow(verdict.failure)));
      return;
    case Outcome::Undetermined:
      channel_.Line(
          "fbwarm: Ob der Server fuer diese Datenbank den Dateicache umgeht, ist nicht "
          "festzustellen: " +
          BypassInputs(verdict) + "; " + UnknownThreshold(verdict) + "; " + Evidence(verdict) +
          ".");
      return;
    case Outcome::Bypasses:
      Warn(
          "Der Server umgeht fuer diese Datenbank den Dateicache des Systems, das Lesen der Datei "
          "waermt nichts, was er nutzt. Grundlage: " +
          BypassInputs(verdict) + "; " + Evidence(verdict) + ". Abhilfe: " + Remedy(verdict) + ".");
      return;
  }
}

void OperatorReport::ResultRecordsLost(const std::u16string& value, const std::u16string& reason) {
  Warn("FBWARM_RESULT_FD=" + Narrow(value) + ": " + Narrow(reason) +
       "; der Ergebnisdatensatz fuer das aufrufende Programm fehlt oder ist unvollstaendig.");
}
