#include "proxy/proxy_calls.h"

#include <memory>
#include <optional>
#include <string>

#include "common/app_paths.h"
#include "common/shared_names.h"
#include "proxy/guard_process.h"
#include "proxy/process_identity.h"
#include "proxy/proxy_guard_watch.h"

namespace {

// The detaching guard only starts the watching one; this bounds one stuck in its start.
constexpr DWORD kDetachTimeoutMs = 10000;

bool SetProxyOptionsWithWinInet(INTERNET_PER_CONN_OPTION_LISTW& options) {
  if (!InternetSetOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &options,
                          sizeof(options))) {
    return false;
  }
  // Tell running programs to reread the settings. Their results do not change what was set,
  // and Wine fails the refresh without a handle.
  InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
  InternetSetOptionW(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
  return true;
}

bool QueryProxyOptionsWithWinInet(INTERNET_PER_CONN_OPTION_LISTW& options) {
  DWORD size = sizeof(options);
  return InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &options, &size) !=
         FALSE;
}

// Through a guard that starts the watching one and ends at once: the watching guard's parent is
// then a process that no longer runs, so that ending this host's process tree (Task Manager's
// "End process tree", taskkill /T) does not end the guard with it.
bool StartDetachedProxyGuard() {
  const std::optional<std::wstring> guard = BesideExecutable(kProxyGuardExecutable);
  if (!guard) return false;
  const ScopedHandle detaching =
      StartGuardProcess(*guard, GuardArguments(CurrentProcessIdentity(), kGuardDetachSwitch));
  if (!detaching || WaitForSingleObject(detaching.get(), kDetachTimeoutMs) != WAIT_OBJECT_0) {
    return false;
  }
  DWORD exit_code = 1;
  return GetExitCodeProcess(detaching.get(), &exit_code) && exit_code == 0;
}

}  // namespace

ProxyCalls ProxyCalls::Real() {
  ProxyCalls calls;
  calls.apply_options = &SetProxyOptionsWithWinInet;
  calls.query_options = &QueryProxyOptionsWithWinInet;
  auto watch = std::make_shared<ProxyGuardWatch>(&StartDetachedProxyGuard,
                                                 ProxyGuardMutexName(GetCurrentProcessId()),
                                                 ProxyGuardWatch::Timing());
  calls.guard_snapshot = [watch](bool on_disk) { watch->SetSnapshotOnDisk(on_disk); };
  return calls;
}
