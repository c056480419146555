#include "tests/faults/fault_checks.h"

#include <gtest/gtest.h>

size_t Count(const std::string& bytes, const std::string& text) {
  size_t count = 0;
  for (size_t pos = bytes.find(text); pos != std::string::npos; pos = bytes.find(text, pos + 1))
    ++count;
  return count;
}

void ExpectOneErrorLineAtTheEnd(const ProcessResult& run, const std::string& error) {
  EXPECT_FALSE(run.timed_out) << "the run hung";
  EXPECT_EQ(run.signal, 0) << "the run crashed";
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Count(run.out, "FEHLER "), 1u) << run.out;
  EXPECT_EQ(Count(run.out, "Fertig! (DB="), 0u) << run.out;
  const std::string last = error + "\r\n";
  EXPECT_TRUE(run.out.ends_with(last)) << "output:\n" << run.out << "\nexpected end:\n" << last;
}

void ExpectLinesThenError(const ProcessResult& run, const std::vector<std::string>& lines,
                          const std::string& error) {
  ExpectOneErrorLineAtTheEnd(run, error);
  EXPECT_EQ(run.out, CrLfLines(lines) + error + "\r\n");
}
