#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "common/app_paths.h"
#include "common/log_file.h"
#include "guard/proxy_guard.h"
#include "proxy/proxy_calls.h"

// keelo_proxy_guard.exe <host process id>; exits with 0 once its watch is over, 2 for a command
// line it does not understand. See proxy_guard.h.
int APIENTRY wWinMain(HINSTANCE, HINSTANCE, wchar_t* arguments, int) {
  const std::optional<DWORD> host = GuardedProcessId(arguments);
  if (!host) return 2;
  const std::optional<std::wstring> folder = LocalDataFolder(L"logs");
  const std::unique_ptr<LogFile> log = folder ? std::make_unique<LogFile>(*folder) : nullptr;
  const ProcessLogScope log_scope(log.get());
  GuardProxySnapshotOf(*host, ProxyCalls::Real());
  return 0;
}
