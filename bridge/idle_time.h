#ifndef BRIDGE_IDLE_TIME_H_
#define BRIDGE_IDLE_TIME_H_

#include <windows.h>

#include <cstdint>

// Whole seconds from the tick of the last input to |now_tick|, both from the millisecond tick
// counter: between 0 and 4294967, right across the counter's wrap after 49.7 days.
int64_t IdleSecondsBetween(DWORD last_input_tick, DWORD now_tick);

// Whole seconds since the user's last input in this session; 0 when the system cannot tell.
int64_t IdleSeconds();

#endif  // BRIDGE_IDLE_TIME_H_
