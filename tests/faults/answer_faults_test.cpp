// Answers of the client library that the tool cannot read, as the stand-in client library
// delivers them to the built binary: cut short, malformed, or longer than the output buffer.
#include <gtest/gtest.h>

#include "tests/faults/fault_checks.h"
#include "tests/support/temp_dir.h"

namespace {

const std::vector<std::string> kArgs = {"/DB:/srv/db/main.fdb", "/USER:SYSDBA", "/PASSWORD:secret"};
const std::string kUnexpected = "FEHLER Unexpected Output buffer value";
// The database path names nothing here while the server is local: standard error says so.
const ErrorLines kMissingHere = {
    "fbwarm: WARNUNG: Den Pfad /srv/db/main\\.fdb gibt es auf diesem Rechner nicht, obwohl der "
    "Server \\(127\\.0\\.0\\.1\\) hier laeuft; .*"};
// A run against the stand-in is far below 2000 ms: a complete report ends with this.
const std::string kTooFast = "FEHLER Fehler aufgetreten";

ProcessResult RunWithScript(const std::string& script) {
  ScopedTempDir dir;
  WriteFileBytes(dir / "script", script);
  ProcessOptions options;
  options.args = kArgs;
  options.env["LD_LIBRARY_PATH"] = StandinDir();
  options.env["FBWARM_STANDIN_SCRIPT"] = dir / "script";
  options.timeout_seconds = 30;
  return RunProcess(FbwarmBinary(), options);
}

}  // namespace

TEST(AnswerFaults, ACutOrMalformedAnswerEndsTheRunAfterTheLinesBeforeIt) {
  struct Case {
    const char* what;
    std::string response;
  } cases[] = {
      // The length promises more than arrives: the terminator is missing.
      {"cut short after the text", "3e 0a 00 61 62 63"},
      {"cut short after the item", "3e"},
      {"cut inside the length", "3e 05"},
      // A length past the end of the 32000-byte buffer, largest and smallest.
      {"length 65535", "3e ff ff 61 62 63 01"},
      {"length 31997", "3e fd 7c 61 62 63 01"},
      {"another item", "43 01 00 00 00"},
      {"the end item alone", "01"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProcessResult run = RunWithScript("line first\nline second\nresponse " + c.response + "\n");
    ExpectLinesThenError(run, {kNotLocal, "first", "second"}, kUnexpected, kMissingHere);
  }
  // Cut short where the previous answer had its text byte and a 1 like a terminator: what it
  // left in the buffer must not complete the new answer into a second "a".
  ProcessResult run = RunWithScript("line a\\x01\nresponse 3e 01 00\n");
  ExpectLinesThenError(run, {kNotLocal, "a\x01"}, kUnexpected, kMissingHere);
}

TEST(AnswerFaults, ALineLongerThanTheBufferIsRefusedAndOneThatJustFitsIsPrinted) {
  // 32000 bytes hold the item, two length bytes, the text and the terminator.
  const std::string fits(31996, 'x');
  ProcessResult ok = RunWithScript("line " + fits + "\n");
  ExpectLinesThenError(ok, {kNotLocal, fits, ""}, kTooFast, kMissingHere);

  for (size_t length : {31997u, 32000u, 40000u, 65535u}) {
    SCOPED_TRACE(length);
    // The stand-in cuts the answer at the buffer's end, as the client library does.
    ProcessResult run = RunWithScript("line before\nline " + std::string(length, 'y') + "\n");
    ExpectLinesThenError(run, {kNotLocal, "before"}, kUnexpected, kMissingHere);
  }
}

TEST(AnswerFaults, ZeroControlAndNonTextBytesInALineNeitherCrashNorEndTheReport) {
  ProcessResult run = RunWithScript(
      "line ab\\x00cd\nline \\x01\\x1a\\x7f\\x1b[2J\nline \\xff\\xfe\\xc3\\x28\nline last\n");
  const std::vector<std::string> lines = SplitCrLf(run.out);
  ASSERT_EQ(lines.size(), 7u) << run.out;
  EXPECT_EQ(lines[1], "ab");  // a zero byte ends the line's text
  EXPECT_EQ(lines[2], "\x01\x1a\x7f\x1b[2J");
  EXPECT_FALSE(lines[3].empty());
  EXPECT_EQ(lines[4], "last");
  EXPECT_EQ(lines[5], "");
  ExpectOneErrorLineAtTheEnd(run, kTooFast, kMissingHere);
}
