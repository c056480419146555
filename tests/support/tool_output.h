// What fbwarm prints and what the stand-in client library logs, as the process-level tests of
// both platforms check it: the fixed lines, and helpers to split, join and hex-encode bytes.
#pragma once

#include <string>
#include <vector>

inline const std::vector<std::string> kHelpLines = {
    "Parameter:",
    "/SERVER:127.0.0.1 /DB:C:\\DB\\Kandor.gdb /USER:SYSDBA /PASSWORD:XXXXXX",
    "",
    "/SERVER",
    "    Optional, gibt Server an",
    "/DB",
    "    gibt den Pfad der Datenbank aus Sicht des Servers an",
    "/USER",
    "    gibt den zu verwendenenden USER an, sollte aber SYSDBA sein",
    "/PASSWORD",
    "    gibt das Passwort des USERs an",
    "",
    "...Weiter mit Enter...",
};

inline const std::string kNotLocal =
    "Natives FileCache kann nur auf dem Server selbst ausgefuehrt werden.";

// Standard error of a run whose absolute /DB: path names nothing on this machine while the
// server is this machine's (server is the label the line gives it).
inline std::string MissingHereLine(const std::string& path,
                                   const std::string& server = "127.0.0.1") {
  return "fbwarm: WARNUNG: Den Pfad " + path + " gibt es auf diesem Rechner nicht, obwohl der " +
         "Server (" + server + ") hier laeuft; der Dateicache wurde nicht gefuellt. Den Pfad " +
         "pruefen: der Server liest die Datei unter demselben Pfad.\n";
}

// The error line of a run whose client library cannot be loaded.
inline const std::string kLibraryMissing =
    "FEHLER InterBase library gds32.dll not found in the path. Please install InterBase to use "
    "this functionality";

// Standard error's line (a regular expression) of a run that ends with "FEHLER Fehler
// aufgetreten" only because it was faster than 2000 ms.
inline const std::string kTooShortLine =
    "fbwarm: Der Lauf dauerte nur [0-9]+ ms, weniger als die verlangten 2000 ms; nur deshalb "
    "endet er mit \"Fehler aufgetreten\"\\. Der Bericht des Servers war vollstaendig\\.";

// Splits text at sep; a last part without sep is kept, an empty text gives no line.
inline std::vector<std::string> SplitAt(const std::string& text, const std::string& sep) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(sep, start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + sep.size();
  }
  return lines;
}

inline std::vector<std::string> SplitCrLf(const std::string& bytes) {
  return SplitAt(bytes, "\r\n");
}

// Joins lines, each followed by CR LF.
inline std::string CrLfLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) out += line + "\r\n";
  return out;
}

// Lower-case hex of bytes, as the stand-in logs them.
inline std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// The service calls (isc_service_...) among the lines of the stand-in's log.
inline std::vector<std::string> ServiceCalls(const std::vector<std::string>& log_lines) {
  std::vector<std::string> calls;
  for (const auto& line : log_lines)
    if (line.rfind("isc_service_", 0) == 0) calls.push_back(line);
  return calls;
}
