#include "proxy/proxy_keeper.h"

#include <windows.h>

#include <utility>

#include "common/log_file.h"
#include "proxy/durable_proxy_snapshot.h"

ProxyKeeper::ProxyKeeper(ProxyCalls calls) : calls_(std::move(calls)) {}

std::optional<ProxySettings> ProxyKeeper::Query() const { return QueryProxySettings(calls_); }

bool ProxyKeeper::Apply(const ProxySettings& requested, std::optional<ProxySettings> to_restore) {
  // On disk before the system's settings change: a host killed during or right after the apply
  // still leaves the settings to put back.
  if (to_restore) KeepSnapshotOnDisk(to_restore);
  const bool applied = ApplyProxySettings(requested, calls_);
  if (applied) {
    to_restore_ = std::move(to_restore);
    // Only now: had the apply failed, the earlier snapshot would still be the one to restore.
    if (!to_restore_) KeepSnapshotOnDisk(std::nullopt);
  } else if (to_restore) {
    // The earlier snapshot stays, on disk as in memory.
    KeepSnapshotOnDisk(to_restore_);
  }
  WriteLogLine(SetProxyLine(requested, applied, to_restore_));
  return applied;
}

void ProxyKeeper::RestoreProxyIfSaved(ProxyRestoreSource source) {
  if (!to_restore_) return;
  // At most once: the snapshot is gone after the attempt, whatever its result.
  const ProxySettings snapshot = std::move(*to_restore_);
  to_restore_.reset();
  const bool applied = ApplyProxySettings(snapshot, calls_);
  // The durable copy too, and only after the attempt: until then a host killed half-way still
  // leaves it to its guard, and from then on the guard must not apply it a second time.
  KeepSnapshotOnDisk(std::nullopt);
  WriteLogLine(ProxyRestoreLine(source, snapshot, applied));
}

void ProxyKeeper::KeepSnapshotOnDisk(const std::optional<ProxySettings>& snapshot) {
  if (!snapshot) {
    RemoveProxySnapshot();
    snapshot_on_disk_ = false;
    return;
  }
  if (!SaveProxySnapshot(ProxySnapshot{GetCurrentProcessId(), *snapshot})) {
    // The snapshot still lives in memory, as it always did; only a kill would lose it now.
    WriteLogLine("Could not keep the proxy settings to restore on disk");
    return;
  }
  // A guard that saw an earlier copy go may still be on its way out; the new one then stays
  // in its place (see guard/proxy_guard.cpp).
  if (!snapshot_on_disk_ && !calls_.start_guard()) WriteLogLine("Could not start the proxy guard");
  snapshot_on_disk_ = true;
}
