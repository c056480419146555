#include <mmsystem.h>
#include <windows.h>

#include "platform/tick_counter.h"

// The multimedia timer's millisecond count wraps after 2^32 - 1 like the interface promises.
// Its resolution is left as the system has it.
uint32_t TickCount() { return timeGetTime(); }
