#include "tool/tick_source.h"

#include "platform/tick_counter.h"

uint32_t SystemTickSource::Now() { return TickCount(); }
