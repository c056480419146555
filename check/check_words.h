// fbwarm-check's words: its lines on standard error after fbwarm has ended, and the status
// lines it gives the service manager while fbwarm runs. German in ASCII, like fbwarm's own.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "check/record_reader.h"
#include "check/verdict.h"
#include "platform/child_process.h"

// Status lines while fbwarm runs.
std::string WaitingStatus();
std::string ProgressStatus(const ReadProgressRecord& progress);
std::string ServerStepStatus();

// What ended the run, as the helper tells it: the program's path, how the child ended (none
// when the helper failed before, start_failure then says why) and its records.
struct CheckEnd {
  std::string program;
  std::optional<ChildEnd> child;
  std::string start_failure;
  RunRecords records;
  CheckStatus status = CheckStatus::Broken;
};

// The lines for standard error, each with its line break; none after a successful run.
std::vector<std::string> VerdictLines(const CheckEnd& end);
// The status line that stays after the run.
std::string FinalStatus(const CheckEnd& end);
