#include "check/verdict.h"

CheckStatus StatusOf(const ChildEnd& end, const RunRecords& records) {
  // Exit status 1 means standard output could not be written: the run is not whole.
  if (end.by_signal || end.code != 0 || !records.version_known || !records.end)
    return CheckStatus::Broken;
  switch (records.end->outcome) {
    case RunOutcome::Finished:
      return CheckStatus::Finished;
    case RunOutcome::TooFast:
      return CheckStatus::TooFast;
    case RunOutcome::Retry:
      return CheckStatus::Retry;
    case RunOutcome::Permanent:
    case RunOutcome::Help:
      return CheckStatus::Permanent;
  }
  return CheckStatus::Broken;
}
