// The statistics run: makes the database server read every data and index page by running its
// statistics action over the service manager, prints the report line by line, and then the
// result line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tool/line_output.h"
#include "tool/run_target.h"
#include "tool/tick_source.h"

class TIBStatisticalService;

// Minimum duration of a run, from the start tick to the end of the report, in milliseconds.
inline constexpr uint32_t kMinimumRunMilliseconds = 2000;

class StatisticsStep {
 public:
  // Loads the client library: a missing library is the first failure of the server part.
  StatisticsStep(LineOutput& out, TickSource& ticks);
  // Ends the service session if it is still open; a failure to end it is dropped.
  ~StatisticsStep();
  StatisticsStep(const StatisticsStep&) = delete;
  StatisticsStep& operator=(const StatisticsStep&) = delete;

  // Attaches to the target's service manager, starts the statistics action over data and index
  // pages and prints each report line. Measures the time from start_tick (the run's first
  // tick) to the report's end, modulo 2^32, so a run across the counter's wrap is measured by
  // the time that passed.
  void PrintReport(const ServerTarget& target, int64_t start_tick);

  // After the report and whatever runs after it, which is not timed: ERunTooFast below the
  // minimum, else the result line; then the session ends (a failure to end it raises like any
  // other). Returns the milliseconds the rule measured.
  uint32_t Finish();

 private:
  LineOutput& out_;
  TickSource& ticks_;
  std::unique_ptr<TIBStatisticalService> client_;
  std::u16string label_;
  uint32_t elapsed_ = 0;
};
