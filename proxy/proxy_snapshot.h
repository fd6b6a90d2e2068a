#ifndef PROXY_PROXY_SNAPSHOT_H_
#define PROXY_PROXY_SNAPSHOT_H_

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "proxy/proxy_settings.h"

// The proxy settings a host is to put back when it ends, as kept on disk so that they survive
// the host: its proxy guard, its next start or the installer put them back when it could not.
struct ProxySnapshot {
  // The host that wrote it. Its guard puts back this host's snapshot only, never a later
  // host's.
  DWORD owner_process_id = 0;
  ProxySettings settings;

  bool operator==(const ProxySnapshot&) const = default;
};

// The text kept on disk, readable in a registry editor:
//
//   v1 owner=4242 flags=3 server=14:proxy.lan:8080 bypass=7:<local> pac=0:
//
// "v1" is the format's version. Each text is preceded by its length in UTF-16 units, so that
// any character may be in it, spaces and '=' included.
std::wstring EncodeProxySnapshot(const ProxySnapshot& snapshot);

// The snapshot |text| holds; nothing unless it is exactly a text EncodeProxySnapshot makes (a
// later version's format included, which this one leaves to the version that wrote it).
std::optional<ProxySnapshot> DecodeProxySnapshot(std::wstring_view text);

#endif  // PROXY_PROXY_SNAPSHOT_H_
