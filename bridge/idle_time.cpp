#include "bridge/idle_time.h"

#include "bridge/desktop_bridge.h"

int64_t IdleSecondsBetween(DWORD last_input_tick, DWORD now_tick) {
  // Unsigned 32-bit subtraction stays right when the counter wrapped in between.
  const DWORD idle_milliseconds = now_tick - last_input_tick;
  return idle_milliseconds / 1000;
}

void DesktopBridge::GetIdleSeconds(const MethodArguments&, flutter::MethodResult& result) {
  LASTINPUTINFO last_input{};
  last_input.cbSize = sizeof(last_input);
  const int64_t idle_seconds =
      GetLastInputInfo(&last_input) ? IdleSecondsBetween(last_input.dwTime, GetTickCount()) : 0;
  const flutter::EncodableValue reply(idle_seconds);
  result.Success(&reply);
}
