// How a run ended, decided in one place for every program that reads it: which failures may
// heal by themselves (worth a retry) and which need the administrator.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "base/exceptions.h"
#include "tool/result_record.h"

// The statistics report was complete, but the run took less than the minimum time.
class ERunTooFast : public Exception {
 public:
  explicit ERunTooFast(uint32_t elapsed_ms);
  uint32_t ElapsedMilliseconds() const { return elapsed_ms_; }

 private:
  uint32_t elapsed_ms_;
};

// A parameter the run needs (USER, PASSWORD, DB) is missing or empty.
class EParameterMissing : public Exception {
 public:
  explicit EParameterMissing(std::u16string name);
  const std::u16string& Name() const { return name_; }

 private:
  std::u16string name_;
};

// The outcome of a run that ended with this failure.
RunOutcome OutcomeOfFailure(const std::exception& failure);

// The first Firebird error code of the failure's status vector; 0 for a failure of another kind.
int64_t FirebirdErrorCode(const std::exception& failure);
