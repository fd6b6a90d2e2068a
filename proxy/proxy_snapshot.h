#ifndef PROXY_PROXY_SNAPSHOT_H_
#define PROXY_PROXY_SNAPSHOT_H_

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "proxy/process_identity.h"
#include "proxy/proxy_settings.h"

// The proxy settings a host is to put back when it ends, as kept on disk so that they survive
// the host: its proxy guard, its next start, the repair at sign-in or the installer put them
// back when it could not.
struct ProxySnapshot {
  // The host that wrote it. Its guard puts back this host's snapshot only, never a later
  // host's, and nobody puts it back under a host that still runs.
  ProcessIdentity owner;
  // What is put back.
  ProxySettings settings;
  // What the host applied, as a query read it back right after (WinINet keeps some settings in
  // a form of its own): a restorer puts |settings| back only while these are still in force, so
  // that a proxy someone else set meanwhile (in Settings, a VPN's) is left alone. Nothing when
  // not known (written before the apply, the query failed, or an older host wrote it): then
  // |settings| are put back whatever is in force, as they always were.
  std::optional<ProxySettings> applied = std::nullopt;

  bool operator==(const ProxySnapshot&) const = default;
};

// The text kept on disk, readable in a registry editor:
//
//   v2 owner=4242 created=134411728657357840 flags=1 server=0: bypass=0: pac=0:
//      applied flags=2 server=11:127.0.0.1:9 bypass=0: pac=0:
//
// on one line, with "applied unknown" when the applied settings are not known. "v2" is the
// format's version; |created| the owner's creation time. Each text is preceded by its length in
// UTF-16 units, so that any character may be in it, spaces and '=' included.
std::wstring EncodeProxySnapshot(const ProxySnapshot& snapshot);

// The snapshot |text| holds; nothing unless it is exactly a text EncodeProxySnapshot makes, or
// one of the first version, which older hosts wrote:
//
//   v1 owner=4242 flags=1 server=0: bypass=0: pac=0:
//
// read with its owner's creation time and the applied settings not known. A later version's
// format is left to the version that wrote it.
std::optional<ProxySnapshot> DecodeProxySnapshot(std::wstring_view text);

#endif  // PROXY_PROXY_SNAPSHOT_H_
