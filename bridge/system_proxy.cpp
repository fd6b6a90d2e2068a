#include <windows.h>

#include <optional>
#include <utility>

#include "bridge/desktop_bridge.h"
#include "bridge/durable_proxy_snapshot.h"
#include "bridge/proxy_settings_map.h"
#include "common/log_file.h"

void DesktopBridge::RestoreProxyIfSaved(ProxyRestoreSource source) {
  if (!proxy_to_restore_) return;
  // At most once: the snapshot is gone after the attempt, whatever its result.
  const ProxySettings snapshot = std::move(*proxy_to_restore_);
  proxy_to_restore_.reset();
  const bool applied = ApplyProxySettings(snapshot, system_);
  // The durable copy too, and only after the attempt: until then a host killed half-way still
  // leaves it to its guard, and from then on the guard must not apply it a second time.
  KeepProxySnapshotOnDisk(std::nullopt);
  WriteLogLine(ProxyRestoreLine(source, snapshot, applied));
}

void DesktopBridge::KeepProxySnapshotOnDisk(const std::optional<ProxySettings>& snapshot) {
  if (!snapshot) {
    RemoveProxySnapshot();
    proxy_snapshot_on_disk_ = false;
    return;
  }
  if (!SaveProxySnapshot(ProxySnapshot{GetCurrentProcessId(), *snapshot})) {
    // The snapshot still lives in memory, as it always did; only a kill would lose it now.
    WriteLogLine("Could not keep the proxy settings to restore on disk");
    return;
  }
  // A guard that saw an earlier copy go may still be on its way out; the new one then stays
  // in its place (see guard/proxy_guard.cpp).
  if (!proxy_snapshot_on_disk_ && !system_.start_proxy_guard()) {
    WriteLogLine("Could not start the proxy guard");
  }
  proxy_snapshot_on_disk_ = true;
}

void DesktopBridge::GetProxy(const MethodArguments&, flutter::MethodResult& result) {
  const std::optional<ProxySettings> settings = QueryProxySettings(system_);
  if (!settings) {
    result.Success(nullptr);
    return;
  }
  const flutter::EncodableValue reply(ProxySettingsToMap(*settings));
  result.Success(&reply);
}

void DesktopBridge::SetProxy(const MethodArguments& arguments, flutter::MethodResult& result) {
  // Arguments that are no map at all ask for nothing; read as an empty map, they would switch
  // the user's proxy off.
  if (!arguments.is_map()) {
    const flutter::EncodableValue refused(false);
    result.Success(&refused);
    return;
  }
  const flutter::EncodableValue* restore = arguments.Find("restoreOnExit");
  std::optional<ProxySettings> snapshot;
  // A snapshot of any other type than a map counts as none given.
  if (restore != nullptr && restore->Holds<flutter::EncodableMap>()) {
    snapshot = ProxySettingsFromMap(MethodArguments(restore));
  }
  const ProxySettings requested = ProxySettingsFromMap(arguments);
  // On disk before the system's settings change: a host killed during or right after the apply
  // still leaves the settings to put back.
  if (snapshot) KeepProxySnapshotOnDisk(snapshot);
  const bool applied = ApplyProxySettings(requested, system_);
  if (applied) {
    proxy_to_restore_ = std::move(snapshot);
    // Only now: had the apply failed, the earlier snapshot would still be the one to restore.
    if (!proxy_to_restore_) KeepProxySnapshotOnDisk(std::nullopt);
  } else if (snapshot) {
    // The earlier snapshot stays, on disk as in memory.
    KeepProxySnapshotOnDisk(proxy_to_restore_);
  }
  WriteLogLine(SetProxyLine(requested, applied, proxy_to_restore_));
  const flutter::EncodableValue reply(applied);
  result.Success(&reply);
}
