// fbwarm-check's exit status: what a scheduler makes of a run of fbwarm.
#pragma once

#include "check/record_reader.h"
#include "platform/child_process.h"

enum class CheckStatus : int {
  Finished = 0,   // the result line: the server read every page
  Permanent = 1,  // a failure a retry does not heal (login, parameters, an unknown error)
  Broken = 2,     // fbwarm or the helper did not work: no record of the run's end
  Retry = 3,      // the server was not reachable or was shutting down: try again later
  TooFast = 4,    // the report was complete in under 2000 ms: warm already, no failure
};

// The status for a run of fbwarm that ended so and left these records.
CheckStatus StatusOf(const ChildEnd& end, const RunRecords& records);
