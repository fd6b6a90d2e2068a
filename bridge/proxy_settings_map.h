#ifndef BRIDGE_PROXY_SETTINGS_MAP_H_
#define BRIDGE_PROXY_SETTINGS_MAP_H_

#include <windows.h>

#include <optional>

#include "bridge/method_arguments.h"
#include "bridge/proxy_settings.h"
#include "messaging/encodable_value.h"

// The proxy settings as the channel carries them: a map of "flags", "server", "bypass", "pac".

// What "flags" holds when sent as |number|; nothing when no 32-bit unsigned value can hold it
// (negative, 2^32 or more, not a number, infinite), which then counts as absent.
std::optional<DWORD> ProxyFlagsFromNumber(double number);

// "flags" (a number, truncated; 1 when absent or unusable), "server", "bypass" and "pac"
// (strings; empty when absent or not strings).
ProxySettings ProxySettingsFromMap(const MethodArguments& map);
flutter::EncodableMap ProxySettingsToMap(const ProxySettings& settings);

#endif  // BRIDGE_PROXY_SETTINGS_MAP_H_
