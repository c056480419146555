#include "tool/server_cache_words.h"

#include <algorithm>
#include <cstdio>

#include "base/byte_count.h"
#include "tool/report_text.h"

namespace {

// Names a summary line lists at most; the rest are counted.
constexpr size_t kNamesShown = 10;

std::string Fixed1(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string Percent(uint64_t part, uint64_t whole) {
  return std::to_string(whole == 0 ? 0 : part * 100 / whole) + " %";
}

std::string SkipLine(const ServerCacheResult& result) {
  switch (result.skip) {
    case ServerCacheResult::Skip::NotShared:
      return Notice(
          "SERVERCACHE uebersprungen: der Server laeuft als Classic oder SuperClassic, dort hat "
          "jede Verbindung ihren eigenen Seitencache, der mit ihr endet. Nur ein SuperServer "
          "teilt ihn zwischen den Verbindungen (ServerMode = Super in firebird.conf).");
    case ServerCacheResult::Skip::NotKept:
      return Notice(
          std::string("SERVERCACHE uebersprungen: ") +
          (result.linger_seconds ? "LINGER ist 0" : "LINGER ist nicht gesetzt") +
          " und keine andere Verbindung haelt die Datenbank offen, also schliesst der Server sie, "
          "sobald fbwarm sich trennt, und verwirft die geholten Seiten. Abhilfe: einmal "
          "ALTER DATABASE SET LINGER TO 900 (als SYSDBA oder Eigentuemer der Datenbank), dann "
          "bleibt sie nach der letzten Verbindung 900 Sekunden offen.");
    case ServerCacheResult::Skip::NoPageRights:
      return Notice(
          "SERVERCACHE uebersprungen: der Benutzer " + Narrow(result.user) +
          " darf keine Datenbankseiten lesen (fb_info_page_contents). Firebird 3 erlaubt das "
          "nur SYSDBA und dem Eigentuemer der Datenbank, Firebird 4 und spaeter auch Benutzern "
          "mit dem Systemrecht READ_RAW_PAGES; einen solchen Benutzer mit /USER: angeben.");
    case ServerCacheResult::Skip::None:
      break;
  }
  return {};
}

std::string NameOf(const NamedPages& named) {
  if (!named.name.empty()) return named.name;
  return named.index_id < 0 ? "Tabelle #" + std::to_string(named.relation_id)
                            : "Index #" + std::to_string(named.index_id) + " von Tabelle #" +
                                  std::to_string(named.relation_id);
}

std::string NamesLine(const std::string& head, const std::vector<NamedPages>& list) {
  std::string text = "SERVERCACHE: Seiten je " + head + ": ";
  for (size_t i = 0; i < std::min(list.size(), kNamesShown); ++i)
    text += (i ? ", " : "") + NameOf(list[i]) + " " + std::to_string(list[i].pages);
  if (list.size() > kNamesShown)
    text += " und " + std::to_string(list.size() - kNamesShown) + " weitere";
  return Notice(text);
}

}  // namespace

std::vector<std::string> ServerCacheLines(const ServerCacheResult& result) {
  if (result.skip != ServerCacheResult::Skip::None) return {SkipLine(result)};
  std::vector<std::string> lines;
  if (result.file_cache_serves)
    lines.push_back(
        Notice("SERVERCACHE: der Server liest diese Datenbank ueber den Dateicache, den der Lauf "
               "schon gefuellt hat; der Schritt ist hier nicht noetig und laeuft, weil er "
               "verlangt wurde."));
  const bool by_value = result.order == ServerCacheResult::Order::ByValue;
  lines.push_back(Notice("SERVERCACHE: " + std::to_string(result.pages) + " Seiten (" +
                         FormatBytes(result.pages * result.page_size) + ") in " +
                         Fixed1(result.seconds) + " s in den Seitencache des Servers geholt, " +
                         (by_value ? "nach Wert geordnet" : "in Dateireihenfolge") + ", davon " +
                         std::to_string(result.file_reads) + " aus der Datei gelesen; " +
                         Percent(result.pages, result.page_buffers) + " der " +
                         std::to_string(result.page_buffers) + " Seitenpuffer belegt (Ziel " +
                         std::to_string(kServerCacheFillPercent) + " %, " +
                         std::to_string(result.used_pages) + " Seiten in Gebrauch); " +
                         std::to_string(result.retouched) +
                         " Seiten auf dem Weg zu den Zeilen zuletzt erneut geholt."));
  if (!result.tables.empty()) lines.push_back(NamesLine("Tabelle", result.tables));
  if (!result.indexes.empty()) lines.push_back(NamesLine("Index", result.indexes));
  return lines;
}

std::string ServerCacheProgressLine(const ServerCacheProgress& progress) {
  const uint64_t done = std::min(progress.done, progress.total);
  return Notice("SERVERCACHE: " + Percent(done, progress.total) + " (" + std::to_string(done) +
                " von " + std::to_string(progress.total) + " Seiten), " + Fixed1(progress.seconds) +
                " s");
}
