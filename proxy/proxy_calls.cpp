#include "proxy/proxy_calls.h"

#include <optional>
#include <string>

#include "common/app_paths.h"
#include "common/shared_names.h"

namespace {

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

bool StartProxyGuardProcess() {
  const std::optional<std::wstring> guard = BesideExecutable(kProxyGuardExecutable);
  if (!guard) return false;
  std::wstring command_line = L"\"" + *guard + L"\" " + std::to_wstring(GetCurrentProcessId());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  // Out of the host's job where the job allows it: a job that ends its processes together
  // (a terminal's, a debugger's) would take the guard along with the host it watches. No
  // handle is inherited: the guard opens the host itself, and must not hold the pipes of
  // whoever started the host.
  BOOL created = CreateProcessW(guard->c_str(), command_line.data(), nullptr, nullptr, FALSE,
                                CREATE_BREAKAWAY_FROM_JOB, nullptr, nullptr, &startup, &started);
  if (!created && GetLastError() == ERROR_ACCESS_DENIED) {
    created = CreateProcessW(guard->c_str(), command_line.data(), nullptr, nullptr, FALSE, 0,
                             nullptr, nullptr, &startup, &started);
  }
  if (!created) return false;
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return true;
}

}  // namespace

ProxyCalls ProxyCalls::Real() {
  ProxyCalls calls;
  calls.apply_options = &SetProxyOptionsWithWinInet;
  calls.query_options = &QueryProxyOptionsWithWinInet;
  calls.start_guard = &StartProxyGuardProcess;
  return calls;
}
