#include "runner/console_signals.h"

#include <atomic>

#include "bridge/window_messages.h"

namespace {

// Under the five seconds the system gives a closing console before it ends the process.
constexpr UINT kSessionEndTimeoutMs = 4000;

std::atomic<HWND> target_window{nullptr};

bool EndsTheProcessOnReturn(DWORD signal) {
  return signal == CTRL_CLOSE_EVENT || signal == CTRL_LOGOFF_EVENT || signal == CTRL_SHUTDOWN_EVENT;
}

// Runs on a thread the system makes for the signal.
BOOL WINAPI ConsoleSignalHandler(DWORD signal) noexcept {
  if (!HandleConsoleSignal(signal)) return FALSE;
  // Returning would let the system end the process now, before the quit has put the proxy back
  // and with an exit code of its own. Held here, this thread ends with the process once the
  // host's quit has run its course (exit code 0), or the system ends both when its grace period
  // is over.
  if (EndsTheProcessOnReturn(signal)) Sleep(INFINITE);
  return TRUE;
}

}  // namespace

void InstallConsoleSignalHandler() { SetConsoleCtrlHandler(&ConsoleSignalHandler, TRUE); }

void SetConsoleSignalTarget(HWND window) { target_window.store(window); }

bool HandleConsoleSignal(DWORD signal) {
  const HWND window = target_window.load();
  if (window == nullptr) return false;
  switch (signal) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      // Through the main window's queue, as the installer asks a running host to quit: the
      // bridge lives on the UI thread, and a quit during one of its modal loops waits for it.
      return PostMessageW(window, QuitMessage(), 0, 0) != FALSE;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: {
      // As the session's end reaches the window; sent, so that the proxy is back when this
      // returns.
      DWORD_PTR result = 0;
      SendMessageTimeoutW(window, WM_ENDSESSION, TRUE,
                          signal == CTRL_LOGOFF_EVENT ? ENDSESSION_LOGOFF : 0, SMTO_ABORTIFHUNG,
                          kSessionEndTimeoutMs, &result);
      return true;
    }
    default:
      return false;
  }
}
