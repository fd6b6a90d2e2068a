#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "common/app_paths.h"
#include "common/log_file.h"
#include "guard/guard_command.h"
#include "guard/proxy_guard.h"
#include "proxy/proxy_calls.h"

// keelo_proxy_guard.exe, in one of the forms of guard_command.h; exits with 0 once its work is
// over, 1 when the detaching form could not start the watching guard, 2 for a command line it
// does not understand. See proxy_guard.h.
int APIENTRY wWinMain(HINSTANCE, HINSTANCE, wchar_t* arguments, int) {
  const std::optional<GuardCommand> command = ParseGuardCommand(arguments);
  if (!command) return 2;
  // Ends at once, before anything else: it only stands between the host and the watching guard.
  if (command->mode == GuardCommand::Mode::kDetach) {
    return StartWatchingGuard(command->host) ? 0 : 1;
  }
  const std::optional<std::wstring> folder = LocalDataFolder(L"logs");
  const std::unique_ptr<LogFile> log = folder ? std::make_unique<LogFile>(*folder) : nullptr;
  const ProcessLogScope log_scope(log.get());
  if (command->mode == GuardCommand::Mode::kRestoreOnly) {
    RestoreProxyAtSignIn(ProxyCalls::Real());
  } else {
    GuardProxySnapshotOf(command->host, ProxyCalls::Real());
  }
  return 0;
}
