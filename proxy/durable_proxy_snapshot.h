#ifndef PROXY_DURABLE_PROXY_SNAPSHOT_H_
#define PROXY_DURABLE_PROXY_SNAPSHOT_H_

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "proxy/proxy_calls.h"
#include "proxy/proxy_snapshot.h"

// The durable copy of the proxy settings a host is to put back: one value under the user's
// Keelo key (see common/shared_names.h), read by a host, its proxy guard, its next start and the
// installer alike.

// Writes |snapshot| over any earlier one; false when the registry refused it.
bool SaveProxySnapshot(const ProxySnapshot& snapshot);

// The value as it is stored; nothing when there is none.
std::optional<std::wstring> ReadProxySnapshotText();

// The stored snapshot; nothing when there is none, or none this version can read.
std::optional<ProxySnapshot> ReadProxySnapshot();

// True when the value is gone, also when it was never there.
bool RemoveProxySnapshot();

// A snapshot put back from disk, and whether WinINet took it.
struct RestoredProxySnapshot {
  ProxySettings settings;
  bool applied = false;
};

// Applies the stored snapshot when there is one that |accept| takes (by the process that wrote
// it), then removes it whatever the apply did, as a host forgets its own: a failed restore is
// not retried. The value is removed only if it is still the one applied, so that a host that
// wrote a new one meanwhile keeps it. Nothing when there was none to put back.
std::optional<RestoredProxySnapshot> RestoreProxySnapshot(
    const ProxyCalls& calls, const std::function<bool(DWORD owner_process_id)>& accept);

#endif  // PROXY_DURABLE_PROXY_SNAPSHOT_H_
