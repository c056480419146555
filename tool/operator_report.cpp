#include "tool/operator_report.h"

#include <algorithm>
#include <cstdio>

#include "platform/console.h"
#include "platform/open_files.h"
#include "platform/text_encoding.h"

namespace {

// Progress is redrawn at most this often, in seconds.
constexpr double kProgressInterval = 0.25;

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

SkipRefusal DecideSkip(ResidencyState residency) {
  if (residency == ResidencyState::HiddenFromUser) return SkipRefusal::ResidencyHidden;
  if (residency != ResidencyState::Trusted) return SkipRefusal::ResidencyUnavailable;
  return SkipRefusal::None;
}

void OperatorReport::Warn(const std::string& text) { channel_.Line("fbwarm: WARNUNG: " + text); }

void OperatorReport::ParameterFileRead(const ParameterFile& file) {
  parameter_file_ = file;
  if (file.state != ParameterFileState::Unreadable) return;
  Warn("Die Parameterdatei " + Narrow(file.path) +
       " ist vorhanden, kann aber nicht gelesen werden: " +
       (file.reason.empty() ? std::string("keine regulaere Datei") : Narrow(file.reason)) +
       ". Ihre Parameter gelten fuer diesen Lauf nicht; fbwarm als ihr Eigentuemer oder als root "
       "starten, oder ihr das Leserecht fuer diesen Benutzer geben.");
}

void OperatorReport::ParameterMissing(const std::u16string& name) {
  // An unreadable file was named when the run began.
  if (parameter_file_.state != ParameterFileState::NoSection) return;
  channel_.Line("fbwarm: Parameter " + Narrow(name) + " fehlt: die Parameterdatei " +
                Narrow(parameter_file_.path) +
                " wurde gelesen, hat aber keinen Abschnitt [STARTPARAMS]; nur die Zeilen darin "
                "gelten als Parameter.");
}

void OperatorReport::TemporaryDirectoryNotApplied(
    const TApplicationParamList::TempRedirection& redirection) {
  using Outcome = TApplicationParamList::TempRedirection::Outcome;
  std::string why;
  switch (redirection.outcome) {
    case Outcome::Applied:
      return;
    case Outcome::TooLong:
      why = "der Wert ist laenger als " + std::to_string(kMaxParamValueLength) + " Zeichen";
      break;
    case Outcome::NoDirectory:
      why = "das Verzeichnis \"" + Narrow(redirection.directory) +
            "\" gibt es nicht, und es kann nicht angelegt werden";
      break;
    case Outcome::EnvironmentRefused:
      why =
          "TEMP und TMP koennen nicht auf \"" + Narrow(redirection.directory) + "\" gesetzt werden";
      break;
  }
  Warn("/TEMP: wurde nicht angewandt: " + why + ". TEMP und TMP bleiben, wie sie waren.");
}

void OperatorReport::ClientLibraryMissing(const std::string& library, const std::u16string& reason,
                                          const std::string& package) {
  std::string text = "fbwarm: Die Firebird-Clientbibliothek " + library +
                     " kann nicht geladen werden: " + Narrow(reason) + ".";
  if (!package.empty())
    text += " Sie gehoert zum Debian-Paket " + package + " (apt-get install " + package + ").";
  channel_.Line(text);
}

void OperatorReport::RunTooShort(uint32_t elapsed_ms, uint32_t minimum_ms) {
  channel_.Line("fbwarm: Der Lauf dauerte nur " + std::to_string(elapsed_ms) +
                " ms, weniger als die verlangten " + std::to_string(minimum_ms) +
                " ms; nur deshalb endet er mit \"Fehler aufgetreten\". Der Bericht des Servers "
                "war vollstaendig.");
}

void OperatorReport::PathUnreachable(const std::u16string& path, const std::u16string& directory,
                                     const std::u16string& reason) {
  if (directory.empty()) {
    Warn("Der Pfad " + Narrow(path) + " ist vielleicht lokal, kann aber nicht erreicht werden: " +
         Narrow(reason) + ". Der Dateicache wurde nicht gefuellt.");
    return;
  }
  Warn("Der Pfad " + Narrow(path) +
       " ist vielleicht lokal, kann aber nicht erreicht werden: das Verzeichnis " +
       Narrow(directory) +
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

void OperatorReport::MemoryShort(uint64_t size, const CacheRoom& room) {
  if (size <= room.bytes) return;
  std::string source;
  switch (room.source) {
    case CacheRoom::Source::MemAvailable:
      source = "nach MemAvailable";
      break;
    case CacheRoom::Source::Cgroup:
      source = "Grenze der Speicher-cgroup " + room.cgroup + " abzueglich ihres uebrigen Speichers";
      break;
    case CacheRoom::Source::Imposed:
      source = "vorgegebene Grenze";
      break;
  }
  Warn("Die Datenbankdatei (" + FormatBytes(size) +
       ") ist groesser als der Speicher, den der Dateicache nutzen kann (" +
       FormatBytes(room.bytes) + ", " + source + "): hoechstens etwa " + FormatBytes(room.bytes) +
       " der Datei koennen im Cache bleiben; das Lesen verdraengt ihren Anfang und andere Daten "
       "aus dem Cache.");
}

void OperatorReport::SkipRefused(SkipRefusal why) {
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
  }
  channel_.Line("fbwarm: SKIPCACHED: die ganze Datei wird gelesen, weil " + reason + ".");
}

void OperatorReport::Progress(uint64_t done, uint64_t total, double seconds) {
  if (!channel_.IsTerminal()) return;
  if (progress_shown_ && seconds - progress_last_ < kProgressInterval) return;
  progress_last_ = seconds;
  progress_shown_ = true;
  done = std::min(done, total);
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
  if (s.start_size != 0 && s.start_size != s.size)
    text += "; die Datei war beim Start " + FormatBytes(s.start_size) + " gross";
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
