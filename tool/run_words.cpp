#include "tool/run_words.h"

#include "tool/report_text.h"

namespace {

std::optional<std::string> UnreadableFileLine(const ParameterFile& file) {
  if (file.state != ParameterFileState::Unreadable) return std::nullopt;
  return Warning(
      "Die Parameterdatei " + Narrow(file.path) +
      " ist vorhanden, kann aber nicht gelesen werden: " +
      (file.reason.empty() ? std::string("keine regulaere Datei") : Narrow(file.reason)) +
      ". Ihre Parameter gelten fuer diesen Lauf nicht; fbwarm als ihr Eigentuemer oder "
      "als root starten, oder ihr das Leserecht fuer diesen Benutzer geben.");
}

std::optional<std::string> TempLine(const TApplicationParamList::TempRedirection& redirection) {
  using Outcome = TApplicationParamList::TempRedirection::Outcome;
  std::string why;
  switch (redirection.outcome) {
    case Outcome::Applied:
      return std::nullopt;
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
  return Warning("/TEMP: wurde nicht angewandt: " + why + ". TEMP und TMP bleiben, wie sie waren.");
}

}  // namespace

std::vector<std::string> ParameterSourcesLines(const ParameterSources& sources) {
  std::vector<std::string> lines;
  if (sources.password_exposed)
    lines.push_back(
        Warning("Die Parameterdatei enthaelt ein Passwort und ist fuer andere Benutzer lesbar; "
                "sie sollte nur fuer ihren Eigentuemer lesbar sein."));
  for (const std::optional<std::string>& line :
       {UnreadableFileLine(sources.file), TempLine(sources.temp)})
    if (line) lines.push_back(*line);
  return lines;
}

std::optional<std::string> ParameterMissingLine(const std::u16string& name,
                                                const ParameterFile& file) {
  if (file.state != ParameterFileState::NoSection) return std::nullopt;
  return Notice("Parameter " + Narrow(name) + " fehlt: die Parameterdatei " + Narrow(file.path) +
                " wurde gelesen, hat aber keinen Abschnitt [STARTPARAMS]; nur die Zeilen darin "
                "gelten als Parameter.");
}

std::string ClientLibraryMissingLine(const std::string& library, const std::u16string& reason,
                                     const std::string& package) {
  std::string text = Notice("Die Firebird-Clientbibliothek " + library +
                            " kann nicht geladen werden: " + Narrow(reason) + ".");
  if (!package.empty())
    text += " Sie gehoert zum Debian-Paket " + package + " (apt-get install " + package + ").";
  return text;
}

std::string RunTooShortLine(uint32_t elapsed_ms, uint32_t minimum_ms) {
  return Notice("Der Lauf dauerte nur " + std::to_string(elapsed_ms) +
                " ms, weniger als die verlangten " + std::to_string(minimum_ms) +
                " ms; nur deshalb endet er mit \"Fehler aufgetreten\". Der Bericht des Servers "
                "war vollstaendig.");
}

std::string ResultRecordsLostLine(const std::u16string& value, const std::u16string& reason) {
  return Warning("FBWARM_RESULT_FD=" + Narrow(value) + ": " + Narrow(reason) +
                 "; der Ergebnisdatensatz fuer das aufrufende Programm fehlt oder ist "
                 "unvollstaendig.");
}
