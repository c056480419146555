#include "tool/file_cache_words.h"

#include <algorithm>
#include <cstdio>

#include "base/byte_count.h"
#include "tool/report_text.h"

namespace {

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

std::string Octal(int mode) {
  char text[16];
  std::snprintf(text, sizeof text, "%04o", mode);
  return text;
}

std::string UnreachableLine(const DatabaseLocation& database) {
  if (database.unsearchable_directory.empty())
    return Warning("Der Pfad " + Narrow(database.path) +
                   " ist vielleicht lokal, kann aber nicht erreicht werden: " +
                   Narrow(database.access_failure) + ". Der Dateicache wurde nicht gefuellt.");
  return Warning("Der Pfad " + Narrow(database.path) +
                 " ist vielleicht lokal, kann aber nicht erreicht werden: das Verzeichnis " +
                 Narrow(database.unsearchable_directory) +
                 " darf von diesem Benutzer nicht durchsucht werden. Der Dateicache wurde nicht "
                 "gefuellt; fbwarm als Benutzer des Servers oder als root starten, oder das "
                 "Suchrecht (x) auf dem Verzeichnis geben.");
}

std::string UnreadableLine(const std::u16string& path, const ReadThroughPlan::OpenFailure& why) {
  std::string facts;
  if (!why.ownership.owner.empty()) facts += "Eigentuemer " + Narrow(why.ownership.owner);
  if (why.ownership.mode >= 0)
    facts += (facts.empty() ? "" : ", ") + ("Modus " + Octal(why.ownership.mode));
  return Warning("Die Datenbankdatei " + Narrow(path) + " kann nicht gelesen werden: " +
                 Narrow(why.reason) + (facts.empty() ? "" : " (" + facts + ")") +
                 ". Der Dateicache wurde nicht gefuellt; fbwarm als Benutzer des Servers oder als "
                 "root starten, oder diesem Benutzer das Leserecht geben.");
}

std::string MemoryShortLine(uint64_t size, const CacheRoom& room) {
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
  return Warning("Die Datenbankdatei (" + FormatBytes(size) +
                 ") ist groesser als der Speicher, den der Dateicache nutzen kann (" +
                 FormatBytes(room.bytes) + ", " + source + "): hoechstens etwa " +
                 FormatBytes(room.bytes) +
                 " der Datei koennen im Cache bleiben; das Lesen verdraengt ihren Anfang und "
                 "andere Daten aus dem Cache.");
}

std::optional<std::string> SkipRefusedLine(SkipRefusal why) {
  std::string reason;
  switch (why) {
    case SkipRefusal::None:
      return std::nullopt;
    case SkipRefusal::ResidencyHidden:
      reason = "dieser Benutzer die Belegung des Dateicaches nicht sehen kann";
      break;
    case SkipRefusal::ResidencyUnavailable:
      reason = "die Belegung des Dateicaches auf diesem System nicht feststellbar ist";
      break;
  }
  return Notice("SKIPCACHED: die ganze Datei wird gelesen, weil " + reason + ".");
}

std::string BrokenLine(const std::u16string& path, const ReadThroughSummary::Break& broken) {
  return Warning("Das Lesen der Datenbankdatei " + Narrow(path) + " brach nach " +
                 FormatBytes(broken.done) + " ab: " + Narrow(broken.reason) +
                 ". Der Rest der Datei wurde nicht in den Dateicache gelesen.");
}

std::string ResidencyLine(const ReadThroughSummary& s) {
  std::string text = "Dateicache: ";
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
  // The last request skipped may reach past the end: it counts only up to it.
  const uint64_t skipped = std::min(s.bytes_skipped, s.size - std::min(s.size, s.bytes_read));
  if (skipped > 0) text += ", " + FormatBytes(skipped) + " schon im Cache und uebersprungen";
  if (s.start_size != 0 && s.start_size != s.size)
    text += "; die Datei war beim Start " + FormatBytes(s.start_size) + " gross";
  return Notice(text);
}

}  // namespace

std::optional<std::string> DatabaseNotHereLine(const DatabaseLocation& database) {
  using Place = DatabaseLocation::Place;
  switch (database.place) {
    case Place::Unreachable:
      return UnreachableLine(database);
    case Place::MissingHere:
      return Warning("Den Pfad " + Narrow(database.path) +
                     " gibt es auf diesem Rechner nicht, obwohl der Server (" +
                     Narrow(database.local_server) +
                     ") hier laeuft; der Dateicache wurde nicht gefuellt. Den Pfad pruefen: der "
                     "Server liest die Datei unter demselben Pfad.");
    case Place::LocalFile:
    case Place::Elsewhere:
      break;
  }
  return std::nullopt;
}

std::vector<std::string> ReadThroughPlanLines(const ReadThroughPlan& plan) {
  std::vector<std::string> lines;
  if (!plan.opened) {
    if (plan.open_failure) lines.push_back(UnreadableLine(plan.path, *plan.open_failure));
    return lines;
  }
  if (plan.room_short) lines.push_back(MemoryShortLine(plan.size, *plan.room_short));
  if (plan.skip_asked)
    if (const std::optional<std::string> line = SkipRefusedLine(plan.skip_refusal))
      lines.push_back(*line);
  return lines;
}

std::string ProgressLine(const ReadProgress& progress) {
  const uint64_t total = progress.total;
  const uint64_t done = std::min(progress.done, total);
  std::string text = "Dateicache: " + std::to_string(total ? done * 100 / total : 100) + " % (" +
                     FormatBytes(done) + " von " + FormatBytes(total) + ")";
  if (progress.seconds > 0 && done > 0) {
    const double rate = static_cast<double>(done) / progress.seconds;
    text += ", " + Rate(done, progress.seconds) + ", noch " +
            std::to_string(static_cast<uint64_t>(static_cast<double>(total - done) / rate)) + " s";
  }
  return Notice(text);
}

std::vector<std::string> ReadThroughSummaryLines(const ReadThroughSummary& summary) {
  std::vector<std::string> lines;
  if (summary.broken) lines.push_back(BrokenLine(summary.path, *summary.broken));
  lines.push_back(ResidencyLine(summary));
  return lines;
}
