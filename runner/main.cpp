#include <objbase.h>
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "common/app_paths.h"
#include "common/log_file.h"
#include "common/shared_names.h"
#include "messaging/diagnostics.h"
#include "proxy/durable_proxy_snapshot.h"
#include "proxy/process_identity.h"
#include "proxy/proxy_calls.h"
#include "proxy/proxy_log_lines.h"
#include "runner/command_line.h"
#include "runner/console_signals.h"
#include "runner/crash_report.h"
#include "runner/debug_console.h"
#include "runner/engine/engine_project.h"
#include "runner/first_geometry.h"
#include "runner/flutter_window.h"
#include "runner/single_instance.h"
#include "runner/startup_marks.h"
#include "runner/uncaught_exception.h"

namespace {

// Another host runs in this session: bring its window forward, even from the tray.
void ShowExistingInstance() {
  HWND existing = FindWindowW(kWindowClassName, kWindowTitle);
  if (existing == nullptr) return;
  ShowWindow(existing, IsIconic(existing) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(existing);
}

// The log a user can send; none when there is no folder for it.
std::unique_ptr<LogFile> OpenLog() {
  const std::optional<std::wstring> folder = LocalDataFolder(L"logs");
  if (!folder) return nullptr;
  return std::make_unique<LogFile>(*folder);
}

// A host that ended without putting the user's proxy back (killed together with its guard,
// or with the power) left the snapshot on disk. Only the session's one host puts it back, and
// before the UI application can change the proxy again. A host that still runs (in another
// session of the user) keeps its own; one an older version wrote names no creation time, and is
// put back as that version did.
void RestoreProxyLeftBehind() {
  const std::optional<ProxyRestoreOutcome> restored = RestoreProxySnapshot(
      ProxyCalls::Real(),
      [](const ProcessIdentity& owner) { return owner.created == 0 || !IsRunning(owner); });
  if (!restored) return;
  flutter::WriteDiagnosticLine(ProxyRestoreLine(ProxyRestoreSource::kNextStart, *restored));
}

}  // namespace

int APIENTRY wWinMain(HINSTANCE, HINSTANCE, wchar_t* command_line, int) {
  MarkStartupPhase("loaded");
  const std::unique_ptr<LogFile> log = OpenLog();
  const ProcessLogScope log_scope(log.get());
  // Every diagnostic line goes to the log too.
  flutter::SetDiagnosticLineSink(&WriteLogLine);
  MarkStartupPhase("log");
  InstallUncaughtExceptionReport();
  InstallCrashReport();
  MarkStartupPhase("crash-reports");
  // Output goes to the console of whoever started the host; under a debugger without one, the
  // host gets its own. Either way the console's signals must not end the host before it has
  // put the user's proxy back.
  if (AttachParentConsole()) {
    InstallConsoleSignalHandler();
  } else if (IsDebuggerPresent()) {
    OpenDebugConsole();
    InstallConsoleSignalHandler();
  }

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  MarkStartupPhase("console-and-com");

  // Its existence is the lock: never released, only closed once the loop has ended (or by the
  // process's end), so that a second host started meanwhile finds it.
  // Held in a plain handle, not a scoped one: on the early exits below it is left to the
  // process's end, never closed while the host is still starting or handing over.
  HANDLE instance_mutex = CreateMutexW(nullptr, TRUE, kInstanceMutexName);
  if (AnotherInstanceHoldsTheLock(instance_mutex, GetLastError())) {
    ShowExistingInstance();
    return 0;
  }
  MarkStartupPhase("single-instance");
  RestoreProxyLeftBehind();
  MarkStartupPhase("proxy-left-behind");
  RegisterRestartAfterUpdate();

  flutter::EngineProject project(L"data");
  project.dart_entrypoint_arguments = ArgumentsAsUtf8();

  auto window = std::make_unique<FlutterWindow>(project);
  window->set_start_minimized(RequestsMinimizedStart(command_line));
  window->set_after_first_frame(&WriteStartupMarks);
  FirstGeometry geometry = FirstGeometryForPrimaryMonitor();
  if (!window->Open(kWindowTitle, geometry.origin, geometry.size)) return 1;
  window->set_quit_when_destroyed(true);
  SetConsoleSignalTarget(window->handle());

  MSG message;
  // -1, a failed call, ends the loop as well rather than spinning on it.
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  SetConsoleSignalTarget(nullptr);

  CoUninitialize();
  if (instance_mutex != nullptr) CloseHandle(instance_mutex);
  return 0;
}
