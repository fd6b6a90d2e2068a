#include "guard/proxy_guard.h"

#include <optional>
#include <string>

#include "common/app_paths.h"
#include "common/log_file.h"
#include "common/scoped_handles.h"
#include "common/shared_names.h"
#include "proxy/durable_proxy_snapshot.h"
#include "proxy/guard_process.h"
#include "proxy/proxy_log_lines.h"
#include "proxy/sign_in_repair.h"

namespace {

bool HostSnapshotIsKept(const ProcessIdentity& host) {
  const std::optional<ProxySnapshot> snapshot = ReadProxySnapshot();
  return snapshot && IsSameProcess(snapshot->owner, host);
}

// What the guard waits on: the host's end, the host's word that it is dying, a change of the
// snapshot's key.
struct HostWatch {
  ProcessIdentity host_identity;
  HANDLE host;
  HANDLE ending;
  HKEY key;
  HANDLE changed;
};

// Waits while the host runs and its snapshot is kept. True when the host has ended (or is
// dying) with its snapshot still there; false when the snapshot went (or the wait failed).
bool HostEndedWithSnapshotKept(const HostWatch& watch) {
  for (;;) {
    // Asked for before the value is read, so that a change right after the read is not missed.
    const bool watching = RegNotifyChangeKeyValue(watch.key, FALSE, REG_NOTIFY_CHANGE_LAST_SET,
                                                  watch.changed, TRUE) == ERROR_SUCCESS;
    if (!HostSnapshotIsKept(watch.host_identity)) return false;
    // A host that could not be opened has ended already.
    if (watch.host == nullptr) return true;
    const HANDLE events[] = {watch.host, watch.ending, watch.changed};
    const DWORD woken = WaitForMultipleObjects(watching ? 3 : 2, events, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0 || woken == WAIT_OBJECT_0 + 1) {
      return HostSnapshotIsKept(watch.host_identity);
    }
    if (woken != WAIT_OBJECT_0 + 2) return false;
  }
}

// The host's process, opened to be waited on; null when it has ended (no process of its id, or
// one created at another time, which took the id over).
ScopedHandle OpenHost(const ProcessIdentity& host, bool* may_not_open) {
  ScopedHandle process(
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, host.id));
  *may_not_open = !process && GetLastError() != ERROR_INVALID_PARAMETER;
  if (process && !IsSameProcess(host, {host.id, ProcessCreationTime(process.get()).value_or(0)})) {
    process.reset();
  }
  return process;
}

}  // namespace

void GuardProxySnapshotOf(const ProcessIdentity& host, const ProxyCalls& calls) {
  // Opened now, while the host that started this guard still runs, so that its id cannot
  // stand for another process by the time it is waited on. One that may not be opened is left
  // to the host's next start and the repair at sign-in.
  bool may_not_open = false;
  const ScopedHandle process = OpenHost(host, &may_not_open);
  if (may_not_open) return;
  ScopedRegistryKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kProxySnapshotKeyPath, 0, KEY_NOTIFY | KEY_QUERY_VALUE,
                    key.put()) != ERROR_SUCCESS) {
    return;
  }
  const ScopedHandle changed(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  const ScopedHandle ending(
      CreateEventW(nullptr, TRUE, FALSE, HostEndingEventName(host.id).c_str()));
  if (!changed || !ending) return;
  // Owned while this guard watches: the host's watch sleeps on it, and the system hands it over
  // when this guard releases it or is ended.
  const ScopedHandle guard_mutex(CreateMutexW(nullptr, TRUE, ProxyGuardMutexName(host.id).c_str()));
  if (!guard_mutex || GetLastError() == ERROR_ALREADY_EXISTS) return;
  const HostWatch watch{host, process.get(), ending.get(), key.get(), changed.get()};
  if (HostEndedWithSnapshotKept(watch)) {
    const std::optional<ProxyRestoreOutcome> restored = RestoreProxySnapshot(
        calls, [&host](const ProcessIdentity& owner) { return IsSameProcess(owner, host); });
    if (restored) WriteLogLine(ProxyRestoreLine(ProxyRestoreSource::kGuard, *restored));
  }
  ReleaseMutex(guard_mutex.get());
}

bool StartWatchingGuard(const ProcessIdentity& host) {
  const std::optional<std::wstring> self = ModuleFilePath(nullptr);
  return self && StartGuardProcess(*self, GuardArguments(host));
}

void RestoreProxyAtSignIn(const ProxyCalls& calls) {
  if (const std::optional<ProxyRestoreOutcome> restored = RestoreSnapshotLeftBehind(calls)) {
    WriteLogLine(ProxyRestoreLine(ProxyRestoreSource::kSignIn, *restored));
    return;
  }
  // Windows deleted the entry that ran this. A snapshot still there belongs to a host that runs
  // (or one this version cannot read): should that host die with its guard, the next sign-in
  // must still repair it.
  if (!ReadProxySnapshot()) return;
  if (const std::optional<std::wstring> self = ModuleFilePath(nullptr)) AddSignInRepair(*self);
}
