#ifndef PROXY_PROXY_SETTINGS_MAP_H_
#define PROXY_PROXY_SETTINGS_MAP_H_

#include <windows.h>

#include <optional>

#include "messaging/encodable_value.h"
#include "proxy/proxy_settings.h"

// The proxy settings as the channel carries them: a map of "flags", "server", "bypass", "pac",
// each looked up by its string key (a key of another kind never matches).

// What "flags" holds when sent as |number|; nothing when no 32-bit unsigned value can hold it
// (negative, 2^32 or more, not a number, infinite), which then counts as absent.
std::optional<DWORD> ProxyFlagsFromNumber(double number);

// "flags" (a double, int32 or int64, truncated; 1 when absent or unusable), "server", "bypass"
// and "pac" (strings; empty when absent or not strings).
ProxySettings ProxySettingsFromMap(const flutter::EncodableMap& map);
flutter::EncodableMap ProxySettingsToMap(const ProxySettings& settings);

#endif  // PROXY_PROXY_SETTINGS_MAP_H_
