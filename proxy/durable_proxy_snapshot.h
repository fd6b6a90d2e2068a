#ifndef PROXY_DURABLE_PROXY_SNAPSHOT_H_
#define PROXY_DURABLE_PROXY_SNAPSHOT_H_

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "proxy/process_identity.h"
#include "proxy/proxy_calls.h"
#include "proxy/proxy_restore.h"
#include "proxy/proxy_snapshot.h"

// The durable copy of the proxy settings a host is to put back: one value under the user's
// Keelo key (see common/shared_names.h), read by a host, its proxy guard, its next start, the
// repair at sign-in and the installer alike.

// Writes |snapshot| over any earlier one; false when the registry refused it.
bool SaveProxySnapshot(const ProxySnapshot& snapshot);

// The value as it is stored; nothing when there is none.
std::optional<std::wstring> ReadProxySnapshotText();

// The stored snapshot; nothing when there is none, or none this version can read.
std::optional<ProxySnapshot> ReadProxySnapshot();

// Removes the value and the repair at sign-in that goes with it; true when the value is gone,
// also when it was never there.
bool RemoveProxySnapshot();

// Puts the stored snapshot back when there is one that |accept| takes (by the process that wrote
// it), unless someone else changed the proxy since its host applied its own (see
// RestoreUnlessChanged), then removes it whatever the outcome, as a host forgets its own: a
// failed restore is not retried, and a proxy left alone stays so. The value is removed only if
// it is still the one read, so that a host that wrote a new one meanwhile keeps it. Nothing when
// there was none to put back.
std::optional<ProxyRestoreOutcome> RestoreProxySnapshot(
    const ProxyCalls& calls, const std::function<bool(const ProcessIdentity& owner)>& accept);

// RestoreProxySnapshot of a snapshot whose host no longer runs (see IsRunning): what the
// installer and the repair at sign-in put back.
std::optional<ProxyRestoreOutcome> RestoreSnapshotLeftBehind(const ProxyCalls& calls);

#endif  // PROXY_DURABLE_PROXY_SNAPSHOT_H_
