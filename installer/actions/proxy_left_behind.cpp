#include "installer/actions/proxy_left_behind.h"

#include <windows.h>

#include "common/scoped_handles.h"
#include "proxy/proxy_calls.h"

namespace {

bool IsRunning(DWORD process_id) {
  const ScopedHandle process(OpenProcess(SYNCHRONIZE, FALSE, process_id));
  return process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

}  // namespace

std::optional<RestoredProxySnapshot> RestoreSnapshotLeftBehind() {
  return RestoreProxySnapshot(ProxyCalls::Real(), [](DWORD owner) { return !IsRunning(owner); });
}
