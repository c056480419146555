// The millisecond tick counter: an unsigned 32-bit count that wraps to 0 after 2^32 - 1.
#pragma once

#include <cstdint>

uint32_t TickCount();
