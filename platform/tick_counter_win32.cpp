#include "platform/tick_counter.h"

// clang-format off
#include <windows.h>
#include <mmsystem.h>  // needs the types of windows.h first
// clang-format on

// The multimedia timer's millisecond count wraps after 2^32 - 1 like the interface promises.
// Its resolution is left as the system has it.
uint32_t TickCount() { return timeGetTime(); }
