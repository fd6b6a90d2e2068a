#ifndef BRIDGE_DURABLE_PROXY_SNAPSHOT_H_
#define BRIDGE_DURABLE_PROXY_SNAPSHOT_H_

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "bridge/proxy_snapshot.h"
#include "bridge/system_calls.h"

// The durable copy of the proxy settings a host is to put back: one value under the user's
// Keelo key, which a host, its proxy guard and the installer read alike, so the names never
// change.
inline constexpr wchar_t kProxySnapshotKeyPath[] = L"Software\\Vantrel\\Keelo";
inline constexpr wchar_t kProxySnapshotValueName[] = L"Proxy to restore";

// The watcher that a host starts beside it while it keeps a snapshot (see guard/).
inline constexpr wchar_t kProxyGuardExecutable[] = L"keelo_proxy_guard.exe";

// The mutex whose existence says that a guard watches the host |host_process_id|: one guard a
// host, in the session's namespace.
std::wstring ProxyGuardMutexName(DWORD host_process_id);

// The event by which a dying host tells its guard to put the proxy back now, not only once the
// process has ended (a crash report takes seconds to write): one per host, of the session, set
// and never reset.
std::wstring HostEndingEventName(DWORD host_process_id);

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
    const SystemCalls& system, const std::function<bool(DWORD owner_process_id)>& accept);

#endif  // BRIDGE_DURABLE_PROXY_SNAPSHOT_H_
