// What every fault must end in, by the tool's rules: exit code 0 and one "FEHLER " line as the
// last thing printed; never a crash, a hang or a run that looks successful.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/tool/fbwarm_process.h"

// The read-through's two lines.
inline const std::vector<std::string> kReadThrough = {"Natives FileCache Start...",
                                                      "Natives FileCache Fertig."};

// Standard error's lines, as regular expressions each line must match in order. A pattern that
// starts with '?' may be missing (the memory warning depends on the machine's memory).
using ErrorLines = std::vector<std::string>;
// The residency line after a read-through, and the memory warning a large file may bring.
inline const std::string kResidencyLine = "fbwarm: Dateicache: .*; gelesen .* in .* s \\(.*\\).*";
inline const std::string kMaybeMemoryWarning =
    "?fbwarm: WARNUNG: Die Datenbankdatei \\(.*\\) ist groesser als der Speicher, den der "
    "Dateicache nutzen kann .*";

// Standard error holds exactly lines matching patterns.
void ExpectErrorLines(const ProcessResult& run, const ErrorLines& patterns);

// The run ended normally with exit code 0, standard error as err_lines says, and exactly one
// "FEHLER " line, which is the last line and carries error (its line breaks as CR LF). The line
// that explains a missing client library or a run faster than 2000 ms is expected last on
// standard error without being named in err_lines.
void ExpectOneErrorLineAtTheEnd(const ProcessResult& run, const std::string& error,
                                const ErrorLines& err_lines);

// The same, and the lines before the error line are exactly these. Standard error holds the
// residency line when lines begin with the read-through and nothing otherwise, unless err_lines
// says more.
void ExpectLinesThenError(const ProcessResult& run, const std::vector<std::string>& lines,
                          const std::string& error,
                          const std::optional<ErrorLines>& err_lines = std::nullopt);

// Number of occurrences of text in bytes.
size_t Count(const std::string& bytes, const std::string& text);
