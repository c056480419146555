#include <time.h>

#include "platform/tick_counter.h"

uint32_t TickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms = uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);  // wraps like a 32-bit millisecond counter
}
