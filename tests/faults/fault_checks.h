// What every fault must end in, by the tool's rules: exit code 0 and one "FEHLER " line as the
// last thing printed; never a crash, a hang or a run that looks successful.
#pragma once

#include <string>
#include <vector>

#include "tests/tool/fbwarm_process.h"

// The read-through's two lines.
inline const std::vector<std::string> kReadThrough = {"Natives FileCache Start...",
                                                      "Natives FileCache Fertig."};

// The run ended normally with exit code 0, nothing on standard error, and exactly one
// "FEHLER " line, which is the last line and carries error (its line breaks as CR LF).
void ExpectOneErrorLineAtTheEnd(const ProcessResult& run, const std::string& error);

// The same, and the lines before the error line are exactly these.
void ExpectLinesThenError(const ProcessResult& run, const std::vector<std::string>& lines,
                          const std::string& error);

// Number of occurrences of text in bytes.
size_t Count(const std::string& bytes, const std::string& text);
