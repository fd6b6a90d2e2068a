#include "bridge/idle_time.h"

int64_t IdleSecondsBetween(DWORD last_input_tick, DWORD now_tick) {
  // Unsigned 32-bit subtraction stays right when the counter wrapped in between.
  const DWORD idle_milliseconds = now_tick - last_input_tick;
  return idle_milliseconds / 1000;
}

int64_t IdleSeconds() {
  LASTINPUTINFO last_input{};
  last_input.cbSize = sizeof(last_input);
  return GetLastInputInfo(&last_input) ? IdleSecondsBetween(last_input.dwTime, GetTickCount()) : 0;
}
