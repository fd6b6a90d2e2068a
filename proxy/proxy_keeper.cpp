#include "proxy/proxy_keeper.h"

#include <windows.h>

#include <utility>

#include "common/app_paths.h"
#include "common/log_file.h"
#include "common/process_ending.h"
#include "common/shared_names.h"
#include "proxy/durable_proxy_snapshot.h"
#include "proxy/process_identity.h"
#include "proxy/proxy_restore.h"
#include "proxy/sign_in_repair.h"

ProxyKeeper::ProxyKeeper(ProxyCalls calls) : calls_(std::move(calls)) {}

std::optional<ProxySettings> ProxyKeeper::Query() const { return QueryProxySettings(calls_); }

bool ProxyKeeper::Apply(const ProxySettings& requested, std::optional<ProxySettings> to_restore) {
  if (closed_ || ProcessIsEnding()) {
    WriteLogLine("setProxy refused, the host is ending: " + DescribeProxySettings(requested));
    return false;
  }
  // On disk before the system's settings change: a host killed during or right after the apply
  // still leaves the settings to put back, to be put back whatever is in force then.
  if (to_restore) KeepSnapshotOnDisk(to_restore, std::nullopt);
  const bool applied = ApplyProxySettings(requested, calls_);
  if (applied) {
    to_restore_ = std::move(to_restore);
    // As WinINet keeps them, which may differ from what was asked (Wine reads flags 3 back as
    // 2 and keeps no bypass): a restorer compares the settings it finds with these.
    applied_ = to_restore_ ? QueryProxySettings(calls_) : std::nullopt;
    // Removed only now: had the apply failed, the earlier snapshot would still be the one to
    // restore.
    KeepSnapshotOnDisk(to_restore_, applied_);
  } else if (to_restore) {
    // The earlier snapshot stays, on disk as in memory.
    KeepSnapshotOnDisk(to_restore_, applied_);
  }
  WriteLogLine(SetProxyLine(requested, applied, to_restore_));
  return applied;
}

void ProxyKeeper::RestoreProxyIfSaved(ProxyRestoreSource source) {
  if (!to_restore_) return;
  // At most once: the snapshot is gone after the attempt, whatever its result.
  const ProxySettings snapshot = std::move(*to_restore_);
  const std::optional<ProxySettings> applied = std::move(applied_);
  to_restore_.reset();
  applied_.reset();
  const ProxyRestoreOutcome outcome = RestoreUnlessChanged(snapshot, applied, calls_);
  // The durable copy too, and only after the attempt: until then a host killed half-way still
  // leaves it to its guard, and from then on the guard must not apply it a second time.
  KeepSnapshotOnDisk(std::nullopt, std::nullopt);
  WriteLogLine(ProxyRestoreLine(source, outcome));
}

void ProxyKeeper::KeepSnapshotOnDisk(const std::optional<ProxySettings>& snapshot,
                                     const std::optional<ProxySettings>& applied) {
  if (!snapshot) {
    // Told first: the guard ends as soon as it sees the value go, which the watch must not take
    // for a guard ended from outside.
    TellGuard(false);
    RemoveProxySnapshot();
    return;
  }
  if (!SaveProxySnapshot(ProxySnapshot{CurrentProcessIdentity(), *snapshot, applied})) {
    // The snapshot still lives in memory, as it always did; only a kill would lose it now.
    WriteLogLine("Could not keep the proxy settings to restore on disk");
    return;
  }
  const std::optional<std::wstring> guard = BesideExecutable(kProxyGuardExecutable);
  if (!guard || !AddSignInRepair(*guard)) {
    WriteLogLine("Could not add the repair of the proxy at the next sign-in");
  }
  TellGuard(true);
}

void ProxyKeeper::TellGuard(bool snapshot_on_disk) {
  if (snapshot_on_disk == snapshot_on_disk_) return;
  snapshot_on_disk_ = snapshot_on_disk;
  calls_.guard_snapshot(snapshot_on_disk);
}
