#ifndef BRIDGE_PROXY_SETTINGS_H_
#define BRIDGE_PROXY_SETTINGS_H_

#include <windows.h>
// wininet.h needs the types that windows.h declares.
#include <wininet.h>

#include <optional>
#include <string>

#include "bridge/method_arguments.h"
#include "bridge/system_calls.h"
#include "messaging/encodable_value.h"

// The system's Internet proxy configuration: WinINet's per-connection options of the default
// (LAN) connection.
struct ProxySettings {
  // PROXY_TYPE_* bits, passed through unchanged both ways.
  DWORD flags = 1;  // PROXY_TYPE_DIRECT
  std::wstring server;
  std::wstring bypass;
  std::wstring autoconfig_url;

  bool operator==(const ProxySettings&) const = default;
};

// What "flags" holds when sent as |number|; nothing when no 32-bit unsigned value can hold it
// (negative, 2^32 or more, not a number, infinite), which then counts as absent.
std::optional<DWORD> ProxyFlagsFromNumber(double number);

// "flags" (a number, truncated; 1 when absent or unusable), "server", "bypass" and "pac"
// (strings; empty when absent or not strings).
ProxySettings ProxySettingsFromMap(const MethodArguments& map);
flutter::EncodableMap ProxySettingsToMap(const ProxySettings& settings);

// Sets all four options, an empty text clearing its option; false when WinINet refused them.
bool ApplyProxySettings(const ProxySettings& settings, const SystemCalls& system);

// Reads all four options, the flags as the settings page shows them where WinINet offers that;
// nothing when they cannot be read.
std::optional<ProxySettings> QueryProxySettings(const SystemCalls& system);

#endif  // BRIDGE_PROXY_SETTINGS_H_
