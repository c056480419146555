#include "tool/fit_words.h"

#include "base/byte_count.h"
#include "tool/report_text.h"

namespace {

// A server's message may span lines; a line of standard error may not.
std::string OneLine(std::u16string_view text) {
  std::string line = Narrow(text);
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  return line;
}

constexpr uint64_t kMiB = 1024 * 1024;

const char* const kRoleNames[kReportedRoleCount] = {"Indexe", "Zeiger", "Verzeichnisse", "Daten",
                                                    "Blobs"};

std::string Percent(const RoleShare& share) {
  const uint64_t value = share.total == 0 ? 100 : share.resident * 100 / share.total;
  return std::to_string(value) + " %";
}

std::string BudgetText(const FitOutcome& fit) {
  const std::string size = std::to_string(fit.budget_bytes / kMiB) + " MiB";
  switch (fit.budget_source) {
    case BudgetSource::Given:
      return size + " (/MAXMB)";
    case BudgetSource::CacheRoom:
      return size + " (Platz des Dateicaches)";
    case BudgetSource::None:
      return "die ganze Datei (das System nennt den Platz des Dateicaches nicht; /MAXMB setzt "
             "eine Grenze)";
  }
  return size;
}

std::string WhyWholeFile(MapStatus found) {
  switch (found) {
    case MapStatus::Missing:
      return "es gibt noch keine Seitenkarte fuer sie";
    case MapStatus::Damaged:
      return "ihre Seitenkarte ist beschaedigt";
    case MapStatus::Foreign:
      return "ihre Seitenkarte gehoert zu einer anderen Datei unter diesem Pfad";
    case MapStatus::Stale:
      return "ihre Seitenkarte ist veraltet (die Datei ist gewachsen, geschrumpft oder neu "
             "angelegt)";
    case MapStatus::Loaded:
      break;
  }
  return "";
}

std::string PlanText(const FitOutcome& fit) {
  const ReadPlan& plan = fit.plan;
  uint64_t tables = 0, included = 0;
  for (const TableFit& table : plan.tables) {
    ++tables;
    if (table.included) ++included;
  }
  std::string text = "nach Wert gelesen: " + FormatBytes(plan.bytes) + " in " +
                     std::to_string(plan.requests.size()) + " Anfragen";
  if (fit.plan_bytes_skipped > 0)
    text += " (" + FormatBytes(fit.plan_bytes_skipped) + " davon schon im Cache, uebersprungen)";
  text += "; Indexseiten " + std::string(plan.indexes_complete ? "vollstaendig" : "nicht alle") +
          ", Daten von " + std::to_string(included) + " von " + std::to_string(tables) +
          " Tabellen";
  return text;
}

}  // namespace

std::string AgeText(int64_t seconds) {
  const auto ago = [](int64_t count, const char* one, const char* many) {
    return "vor " + std::to_string(count) + " " + (count == 1 ? one : many);
  };
  if (seconds < 60) return "gerade eben";
  if (seconds < 3600) return ago(seconds / 60, "Minute", "Minuten");
  if (seconds < 86400) return ago(seconds / 3600, "Stunde", "Stunden");
  return ago(seconds / 86400, "Tag", "Tagen");
}

std::vector<std::string> FitReadLines(const FitOutcome& fit, uint64_t file_size,
                                      int64_t now_seconds) {
  std::vector<std::string> lines;
  if (fit.not_a_database) {
    lines.push_back(
        Notice("FIT: Die erste Seite ist kein Datenbankkopf, den fbwarm kennt (ODS 12 "
               "oder 13): die Datei wurde ganz gelesen, wie ohne /FIT."));
    return lines;
  }
  lines.push_back(
      Notice("FIT: Budget " + BudgetText(fit) + ", Datei " + FormatBytes(file_size) + "."));
  if (fit.full_read) {
    std::string text = "FIT: Die ganze Datei wurde gelesen, um ihre Seiten einzuordnen: " +
                       WhyWholeFile(fit.found) + ". Spaetere Laeufe lesen nach der Karte";
    text += fit.plan_requests_read == 0 ? "." : "; danach " + PlanText(fit) + ".";
    lines.push_back(Notice(text));
  } else {
    lines.push_back(Notice("FIT: Seitenkarte von " + AgeText(now_seconds - fit.map_written_at) +
                           "; " + PlanText(fit) + "."));
    lines.push_back(Notice("FIT: In diesem Lauf geprueft: " + std::to_string(fit.pages_checked) +
                           " Seiten, davon " + std::to_string(fit.pages_corrected) +
                           " in der Karte berichtigt."));
  }
  if (fit.save_failure)
    lines.push_back(Warning("FIT: Die Seitenkarte konnte nicht gespeichert werden (" +
                            Narrow(fit.map_path) + "): " + OneLine(*fit.save_failure) +
                            ". Der naechste Lauf liest die Datei wieder ganz."));
  else if (fit.map_path.empty())
    lines.push_back(
        Warning("FIT: Kein Verzeichnis fuer die Seitenkarte (weder STATE_DIRECTORY "
                "noch XDG_STATE_HOME noch HOME): jeder Lauf liest die Datei ganz."));
  return lines;
}

std::string FitWholeReadLine(MapStatus found) {
  return Notice("FIT: Die ganze Datei wird einmal gelesen, um ihre Seiten einzuordnen (" +
                WhyWholeFile(found) + "); spaetere Laeufe lesen nur nach Wert bis zum Budget.");
}

std::string FitWithoutResidencyLine() {
  return Notice(
      "FIT: Dieses System sagt nicht, welche Seiten der Datei im Dateicache liegen: fbwarm liest "
      "die wertvollsten Seiten (Verzeichnisse, Zeiger, Indexe, dann Tabellen) bis zum Budget, "
      "kann aber nicht zeigen, was davon im Cache bleibt, und /SKIPCACHED ueberspringt nichts.");
}

std::string NamesUnknownLine(const std::u16string& failure) {
  return Notice("FIT: Die Namen der Tabellen und Indexe konnten nicht erfragt werden (" +
                OneLine(failure) + "): der Statistiklauf kann die Tabellen nicht einzeln lesen.");
}

std::vector<std::string> FitStatisticsLines(const StatisticsScope& scope,
                                            const ResidentAlong& resident, uint64_t budget) {
  std::string asked;
  if (scope.tables.empty())
    asked =
        scope.data_pages ? "Daten- und Indexseiten aller Tabellen" : "Indexseiten aller Tabellen";
  else {
    std::string names;
    for (const std::u16string& table : scope.tables)
      names += (names.empty() ? "" : ", ") + Narrow(table);
    asked = "Daten- und Indexseiten von " + std::to_string(scope.tables.size()) + " Tabellen (" +
            names + ")";
  }
  std::string text = "FIT: Der Statistiklauf las " + asked;
  if (resident.statistics && resident.end && resident.run_start) {
    const auto growth = [](uint64_t from, uint64_t to) { return to > from ? to - from : 0; };
    const uint64_t by_statistics = growth(*resident.statistics, *resident.end);
    const uint64_t by_run = growth(*resident.run_start, *resident.end);
    text += " und brachte " + FormatBytes(by_statistics) +
            " in den Cache; der ganze Lauf brachte " + FormatBytes(by_run) + " von " +
            std::to_string(budget / kMiB) + " MiB Budget";
    if (by_run > budget) text += " (ueberschritten)";
  }
  return {Notice(text + ".")};
}

std::vector<std::string> CachedByRoleLines(const CachedByRole& cached, const RelationNames& names,
                                           const FitOutcome& fit, int64_t now_seconds) {
  std::string roles;
  for (int i = 0; i < kReportedRoleCount; ++i) {
    if (cached.roles[i].total == 0) continue;
    roles +=
        (roles.empty() ? "" : ", ") + std::string(kRoleNames[i]) + " " + Percent(cached.roles[i]);
  }
  std::string source =
      fit.full_read
          ? "Seitenrollen aus diesem Lauf"
          : "Seitenrollen aus der Karte von " + AgeText(now_seconds - fit.map_written_at) +
                ", davon " + std::to_string(fit.pages_checked) + " Seiten in diesem Lauf geprueft";
  std::vector<std::string> lines{Notice("Im Cache nach dem Lauf: " + roles + " (" + source + ").")};
  for (const auto& [relation, name] : names.tables) {
    if (relation < kFirstUserRelation) continue;  // the system's own tables
    const auto data = cached.table_data.find(relation);
    std::string indexes;
    for (const auto& [key, share] : cached.index_pages) {
      if (key.first != relation) continue;
      const auto index_name = names.indexes.find(key);
      indexes += (indexes.empty() ? "" : ", ") +
                 (index_name == names.indexes.end() ? "Index " + std::to_string(key.second)
                                                    : Narrow(index_name->second)) +
                 " " + Percent(share);
    }
    if (data == cached.table_data.end() && indexes.empty()) continue;
    std::string text = "  " + Narrow(name) + ":";
    if (data != cached.table_data.end()) text += " Daten " + Percent(data->second);
    if (!indexes.empty())
      text += std::string(data != cached.table_data.end() ? ";" : "") + " Indexe " + indexes;
    lines.push_back(Notice(text));
  }
  return lines;
}
