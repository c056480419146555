// The statistics warm-up run: makes the database server read every data and index page by
// running its statistics action, prints the report, and prints the result line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tool/line_output.h"
#include "tool/tick_source.h"

struct WarmUpContext {
  LineOutput& out;
  TickSource& ticks;
  // The value of a start parameter, or the empty text; asked anew at every use.
  std::function<std::u16string(const std::u16string&)> param_value;
  // Runs after the last report line, before the result line; it must not raise. None in
  // tests that need nothing there.
  std::function<void()> after_report = nullptr;
};

// Minimum duration of a run, from the start tick to the end of the report, in milliseconds.
inline constexpr uint32_t kMinimumRunMilliseconds = 2000;

// Runs the statistics warm-up from start_tick (the driver's first tick). Returns after the
// result line with the milliseconds the minimum-duration rule measured; raises on every
// failure, after the service client has been released (ERunTooFast for a complete report that
// came too soon).
uint32_t RunStatisticsWarmUp(int64_t start_tick, const WarmUpContext& context);
