#include <windows.h>

#include <cstdint>

#include "bridge/desktop_bridge.h"

void DesktopBridge::GetIdleSeconds(const MethodArguments&, flutter::MethodResult& result) {
  LASTINPUTINFO last_input{};
  last_input.cbSize = sizeof(last_input);
  int64_t idle_seconds = 0;
  if (system_.get_last_input_info(&last_input)) {
    // Unsigned 32-bit subtraction stays right when the tick counter wraps after 49.7 days
    // between the last input and now.
    const DWORD idle_milliseconds = system_.get_tick_count() - last_input.dwTime;
    idle_seconds = idle_milliseconds / 1000;
  }
  const flutter::EncodableValue reply(idle_seconds);
  result.Success(&reply);
}
