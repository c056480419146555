#include "tests/faults/fault_checks.h"

#include <gtest/gtest.h>

#include <regex>

size_t Count(const std::string& bytes, const std::string& text) {
  size_t count = 0;
  for (size_t pos = bytes.find(text); pos != std::string::npos; pos = bytes.find(text, pos + 1))
    ++count;
  return count;
}

void ExpectErrorLines(const ProcessResult& run, const ErrorLines& patterns) {
  const std::vector<std::string> lines = SplitAt(run.err, "\n");
  EXPECT_TRUE(run.err.empty() || run.err.back() == '\n') << run.err;
  size_t next = 0;
  for (const std::string& pattern : patterns) {
    const bool optional = !pattern.empty() && pattern[0] == '?';
    const std::regex re(optional ? pattern.substr(1) : pattern);
    if (next < lines.size() && std::regex_match(lines[next], re)) {
      ++next;
    } else if (!optional) {
      ADD_FAILURE() << "standard error lacks a line like " << pattern << ":\n" << run.err;
      return;
    }
  }
  EXPECT_EQ(next, lines.size()) << "more on standard error than expected:\n" << run.err;
}

void ExpectOneErrorLineAtTheEnd(const ProcessResult& run, const std::string& error,
                                const ErrorLines& err_lines) {
  EXPECT_FALSE(run.timed_out) << "the run hung";
  EXPECT_EQ(run.signal, 0) << "the run crashed";
  EXPECT_EQ(run.exit_code, 0) << run.err;
  ErrorLines patterns = err_lines;
  if (error == kLibraryMissing) patterns.push_back(kBrokenClientLine);
  if (error == "FEHLER Fehler aufgetreten") patterns.push_back(kTooShortLine);
  ExpectErrorLines(run, patterns);
  EXPECT_EQ(Count(run.out, "FEHLER "), 1u) << run.out;
  EXPECT_EQ(Count(run.out, "Fertig! (DB="), 0u) << run.out;
  const std::string last = error + "\r\n";
  EXPECT_TRUE(run.out.ends_with(last)) << "output:\n" << run.out << "\nexpected end:\n" << last;
}

void ExpectLinesThenError(const ProcessResult& run, const std::vector<std::string>& lines,
                          const std::string& error, const std::optional<ErrorLines>& err_lines) {
  const bool read_through = lines.size() >= 2 && lines[0] == kReadThrough[0];
  ExpectOneErrorLineAtTheEnd(run, error,
                             err_lines      ? *err_lines
                             : read_through ? ErrorLines{kResidencyLine}
                                            : ErrorLines{});
  EXPECT_EQ(run.out, CrLfLines(lines) + error + "\r\n");
}
