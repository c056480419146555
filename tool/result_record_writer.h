// Writes the run's result records (tool/result_record.h) to the stream that the variable
// FBWARM_RESULT_FD names, for a program that runs fbwarm; without the variable it writes
// nothing. It only writes what the steps hand it: the outcome is decided elsewhere.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/handed_stream.h"
#include "tool/result_record.h"

inline constexpr char16_t kResultRecordVariable[] = u"FBWARM_RESULT_FD";

// How the run ended, as the driver's handler found it.
struct RunEnd {
  RunOutcome outcome = RunOutcome::Permanent;
  uint32_t milliseconds = 0;
  int64_t error_code = 0;
  std::u16string error_report;  // the error line(s) as printed, "FEHLER " included; or empty
};

class ResultRecordWriter {
 public:
  // Opens the stream the variable names; the value must be a descriptor number from 3 up.
  // A value that cannot be used leaves the writer silent, with the reason in Problem().
  static ResultRecordWriter FromEnvironment();
  // Writes to stream, taken from the variable's value (which problems quote); none writes
  // nothing. The first record, the format's version, is written here.
  explicit ResultRecordWriter(std::unique_ptr<HandedStream> stream, std::u16string value = {});

  void ReadProgress(uint64_t done, uint64_t total, uint64_t milliseconds);
  void ServerStep();
  void Finish(const RunEnd& end);

  // The variable's value and why records cannot be written, once the first write failed or
  // the stream could not be opened; nothing while all is well or no records are wanted.
  struct Problem {
    std::u16string value;
    std::u16string reason;
  };
  const std::optional<Problem>& Trouble() const { return trouble_; }

 private:
  void Write(const ResultRecord& record);

  std::unique_ptr<HandedStream> stream_;
  std::u16string value_;
  std::optional<Problem> trouble_;
};
