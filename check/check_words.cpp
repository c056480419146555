#include "check/check_words.h"

#include <cstdio>

#include "base/byte_count.h"

namespace {

constexpr char kPrefix[] = "fbwarm: fbwarm-check: ";

std::string Seconds(uint64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(milliseconds) / 1000);
  return text;
}

std::string StatusNumber(CheckStatus status) {
  return "Status " + std::to_string(static_cast<int>(status));
}

// "nach 1.2 s (Firebird-Fehler 335544721)", the code only where there is one.
std::string WhenAndCode(const RunEndRecord& end) {
  std::string text = "nach " + Seconds(end.milliseconds);
  if (end.error_code != 0) text += " (Firebird-Fehler " + std::to_string(end.error_code) + ")";
  return text;
}

// Why there is no usable record of the run's end.
std::string BrokenReason(const CheckEnd& end) {
  if (!end.child) return "konnte nicht gestartet werden: " + end.start_failure;
  if (end.child->by_signal) return "endete durch Signal " + std::to_string(end.child->code);
  if (end.child->code != 0) return "endete mit Exit-Status " + std::to_string(end.child->code);
  if (!end.records.version_known) return "schrieb keinen Ergebnisdatensatz, den ich lesen kann";
  return "endete ohne Ergebnisdatensatz";
}

std::string Headline(const CheckEnd& end) {
  const std::string status = " (" + StatusNumber(end.status) + ")";
  switch (end.status) {
    case CheckStatus::Finished:
      return "";
    case CheckStatus::Broken:
      return end.program + " " + BrokenReason(end) + status + ".";
    case CheckStatus::TooFast:
      return "Bericht vollstaendig, aber schon nach " +
             std::to_string(end.records.end->milliseconds) +
             " ms, unter 2000 ms: die Datenbank lag wohl schon im Cache; kein Fehler" + status +
             ".";
    case CheckStatus::Retry:
      return "Lauf fehlgeschlagen " + WhenAndCode(*end.records.end) +
             "; das kann von selbst vergehen, ein neuer Versuch kann helfen" + status + ":";
    case CheckStatus::Permanent:
      if (end.records.end->outcome == RunOutcome::Help)
        return "fbwarm zeigte nur den Hilfetext und waermte nichts" + status + ".";
      return "Lauf fehlgeschlagen " + WhenAndCode(*end.records.end) +
             "; ein neuer Versuch hilft nicht, erst die Ursache beheben" + status + ":";
  }
  return "";
}

}  // namespace

std::string WaitingStatus() { return "Wartet, bis ein anderer Lauf von fbwarm endet"; }

std::string ProgressStatus(const ReadProgressRecord& p) {
  const uint64_t done = std::min(p.done, p.total);
  std::string text = "Dateicache: " + std::to_string(p.total ? done * 100 / p.total : 100) +
                     " % (" + FormatBytes(done) + " von " + FormatBytes(p.total) + ")";
  if (p.milliseconds > 0 && done > 0) {
    const double rate = static_cast<double>(done) * 1000 / static_cast<double>(p.milliseconds);
    text += ", " + FormatBytes(static_cast<uint64_t>(rate)) + "/s, noch " +
            std::to_string(static_cast<uint64_t>(static_cast<double>(p.total - done) / rate)) +
            " s";
  }
  return text;
}

std::string ServerStepStatus() {
  return "Statistiklauf: der Server liest die Datenseiten und die Blattseiten der Indexe";
}

std::vector<std::string> VerdictLines(const CheckEnd& end) {
  const std::string headline = Headline(end);
  if (headline.empty()) return {};
  std::vector<std::string> lines{kPrefix + headline + "\n"};
  // The error report as fbwarm printed it, so that a mail or the journal carries the cause.
  for (const std::string& line : end.records.error_lines)
    lines.push_back(kPrefix + ("  " + line) + "\n");
  return lines;
}

std::string FinalStatus(const CheckEnd& end) {
  const std::string first_error =
      end.records.error_lines.empty() ? "" : ": " + end.records.error_lines.front();
  switch (end.status) {
    case CheckStatus::Finished:
      return "Fertig nach " + Seconds(end.records.end->milliseconds);
    case CheckStatus::TooFast:
      return "Fertig nach " + Seconds(end.records.end->milliseconds) +
             ", unter 2000 ms: schon im Cache";
    case CheckStatus::Retry:
      return "Fehlgeschlagen, neuer Versuch kann helfen" + first_error;
    case CheckStatus::Permanent:
      return "Fehlgeschlagen" + first_error;
    case CheckStatus::Broken:
      return "fbwarm " + BrokenReason(end);
  }
  return "";
}
