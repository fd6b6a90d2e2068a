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

// WinINet takes about 10 ms to load under Wine, and most starts of the host never touch the
// proxy: it is loaded by the first apply or query, from the system folder only, and kept.
struct WinInet {
  decltype(&InternetSetOptionW) set_option = nullptr;
  decltype(&InternetQueryOptionW) query_option = nullptr;
};

template <typename Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const WinInet& LoadedWinInet() {
  static const WinInet functions = [] {
    WinInet loaded;
    const HMODULE module = LoadLibraryExW(L"wininet.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return loaded;
    loaded.set_option = Export<decltype(&InternetSetOptionW)>(module, "InternetSetOptionW");
    loaded.query_option = Export<decltype(&InternetQueryOptionW)>(module, "InternetQueryOptionW");
    return loaded;
  }();
  return functions;
}

bool SetProxyOptionsWithWinInet(INTERNET_PER_CONN_OPTION_LISTW& options) {
  const WinInet& wininet = LoadedWinInet();
  if (wininet.set_option == nullptr ||
      !wininet.set_option(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &options,
                          sizeof(options))) {
    return false;
  }
  // Tell running programs to reread the settings. Their results do not change what was set,
  // and Wine fails the refresh without a handle.
  wininet.set_option(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
  wininet.set_option(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
  return true;
}

bool QueryProxyOptionsWithWinInet(INTERNET_PER_CONN_OPTION_LISTW& options) {
  const WinInet& wininet = LoadedWinInet();
  DWORD size = sizeof(options);
  return wininet.query_option != nullptr &&
         wininet.query_option(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &options, &size) !=
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
