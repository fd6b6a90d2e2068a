#ifndef PROXY_PROXY_SETTINGS_H_
#define PROXY_PROXY_SETTINGS_H_

#include <windows.h>
// wininet.h needs the types that windows.h declares.
#include <wininet.h>

#include <optional>
#include <string>

#include "proxy/proxy_calls.h"

// The system's Internet proxy configuration: WinINet's per-connection options of the default
// (LAN) connection. The host applies it for the UI application; its proxy guard and the
// installer apply a snapshot of it that a host left behind.
struct ProxySettings {
  // PROXY_TYPE_* bits, passed through unchanged both ways.
  DWORD flags = 1;  // PROXY_TYPE_DIRECT
  std::wstring server;
  std::wstring bypass;
  std::wstring autoconfig_url;

  bool operator==(const ProxySettings&) const = default;
};

// Sets all four options, an empty text clearing its option; false when WinINet refused them.
bool ApplyProxySettings(const ProxySettings& settings, const ProxyCalls& calls);

// Reads all four options, the flags as the settings page shows them where WinINet offers that;
// nothing when they cannot be read.
std::optional<ProxySettings> QueryProxySettings(const ProxyCalls& calls);

#endif  // PROXY_PROXY_SETTINGS_H_
