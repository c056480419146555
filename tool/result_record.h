// The result record: what fbwarm tells a program that runs it (fbwarm-check) about the run,
// apart from standard output. One record per line, ending in LF; the first word names the
// record, further words are separated by one blank:
//
//   fbwarm-record 1              first: the format and its version
//   read DONE TOTAL MS           the read-through passed DONE of TOTAL bytes in MS ms
//   server                       the statistics step begins: the server reads the pages now
//   error TEXT                   one line of the error report, as standard output shows it
//   result OUTCOME MS CODE       last: how the run ended, its milliseconds, the first
//                                Firebird error code of the status vector (0 for none)
//
// TEXT is the rest of the line: the bytes of standard output (the locale's encoding) without
// CR LF, each byte below 0x20, 0x7F and '\' written as \xHH. Readers skip records they do not
// know, so later versions can add some.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

inline constexpr int kResultRecordVersion = 1;

// How a run ended, as far as a scheduler cares.
enum class RunOutcome {
  Finished,   // the result line: the server read every page
  TooFast,    // the report was complete, but the run took less than 2000 ms
  Retry,      // the server could not be reached or was shutting down: it may heal
  Permanent,  // wrong login, a parameter missing or too long, anything else
  Help,       // only the help text was shown
};

struct VersionRecord {
  int version = kResultRecordVersion;
};
struct ReadProgressRecord {
  uint64_t done = 0, total = 0, milliseconds = 0;
};
struct ServerStepRecord {};
struct ErrorLineRecord {
  std::string text;
};
struct RunEndRecord {
  RunOutcome outcome = RunOutcome::Permanent;
  uint64_t milliseconds = 0;
  int64_t error_code = 0;
};

using ResultRecord = std::variant<VersionRecord, ReadProgressRecord, ServerStepRecord,
                                  ErrorLineRecord, RunEndRecord>;

// The record as one line, LF included.
std::string FormatResultRecord(const ResultRecord& record);

// One line without its LF; nothing for a record of another kind or a malformed one.
std::optional<ResultRecord> ParseResultRecord(std::string_view line);

// "finished", "too-fast", "retry", "permanent", "help".
std::string_view OutcomeWord(RunOutcome outcome);
