#include "guard/proxy_guard.h"

#include <cstdint>
#include <string>

#include "common/log_file.h"
#include "common/scoped_handles.h"
#include "common/shared_names.h"
#include "proxy/durable_proxy_snapshot.h"
#include "proxy/proxy_log_lines.h"

namespace {

bool HostSnapshotIsKept(DWORD host_process_id) {
  const std::optional<ProxySnapshot> snapshot = ReadProxySnapshot();
  return snapshot && snapshot->owner_process_id == host_process_id;
}

// What the guard waits on: the host's end, the host's word that it is dying, a change of the
// snapshot's key.
struct HostWatch {
  DWORD host_process_id;
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
    if (!HostSnapshotIsKept(watch.host_process_id)) return false;
    // A host that could not be opened has ended already.
    if (watch.host == nullptr) return true;
    const HANDLE events[] = {watch.host, watch.ending, watch.changed};
    const DWORD woken = WaitForMultipleObjects(watching ? 3 : 2, events, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0 || woken == WAIT_OBJECT_0 + 1) {
      return HostSnapshotIsKept(watch.host_process_id);
    }
    if (woken != WAIT_OBJECT_0 + 2) return false;
  }
}

}  // namespace

std::optional<DWORD> GuardedProcessId(const wchar_t* arguments) {
  if (arguments == nullptr) return std::nullopt;
  uint64_t value = 0;
  size_t digits = 0;
  for (const wchar_t* character = arguments; *character != L'\0'; ++character, ++digits) {
    if (*character < L'0' || *character > L'9' || digits == 10) return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(*character - L'0');
  }
  if (digits == 0 || value == 0 || value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<DWORD>(value);
}

void GuardProxySnapshotOf(DWORD host_process_id, const ProxyCalls& calls) {
  const std::wstring mutex_name = ProxyGuardMutexName(host_process_id);
  // Opened now, while the host that started this guard still runs, so that its id cannot
  // stand for another process by the time it is waited on. No such process means the host has
  // ended already; one that may not be opened is left to the host's next start.
  const ScopedHandle host(OpenProcess(SYNCHRONIZE, FALSE, host_process_id));
  if (!host && GetLastError() != ERROR_INVALID_PARAMETER) return;
  ScopedRegistryKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kProxySnapshotKeyPath, 0, KEY_NOTIFY | KEY_QUERY_VALUE,
                    key.put()) != ERROR_SUCCESS) {
    return;
  }
  const ScopedHandle changed(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  const ScopedHandle ending(
      CreateEventW(nullptr, TRUE, FALSE, HostEndingEventName(host_process_id).c_str()));
  if (!changed || !ending) return;
  const HostWatch watch{host_process_id, host.get(), ending.get(), key.get(), changed.get()};
  for (;;) {
    {
      const ScopedHandle guard_mutex(CreateMutexW(nullptr, FALSE, mutex_name.c_str()));
      if (!guard_mutex || GetLastError() == ERROR_ALREADY_EXISTS) return;
      if (HostEndedWithSnapshotKept(watch)) {
        const std::optional<RestoredProxySnapshot> restored = RestoreProxySnapshot(
            calls, [host_process_id](DWORD owner) { return owner == host_process_id; });
        if (restored) {
          WriteLogLine(
              ProxyRestoreLine(ProxyRestoreSource::kGuard, restored->settings, restored->applied));
        }
        return;
      }
    }
    // The snapshot went. The host may have written a new one right after and started a guard
    // for it, which found this one's mutex and left: with the mutex closed, one more look
    // decides whether this guard stays on in its place.
    if (!HostSnapshotIsKept(host_process_id)) return;
  }
}
