// The millisecond tick counter as the warm-up run sees it, so tests can drive the clock.
#pragma once

#include <cstdint>

class TickSource {
 public:
  virtual ~TickSource() = default;
  virtual uint32_t Now() = 0;
};

// The platform's tick counter.
class SystemTickSource : public TickSource {
 public:
  uint32_t Now() override;
};
