#ifndef BRIDGE_DESKTOP_BRIDGE_H_
#define BRIDGE_DESKTOP_BRIDGE_H_

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "bridge/foreground_watcher.h"
#include "bridge/host_services.h"
#include "bridge/method_arguments.h"
#include "bridge/mini_mode.h"
#include "bridge/shell_jobs.h"
#include "bridge/startup_entry.h"
#include "bridge/system_calls.h"
#include "bridge/tray_icon.h"
#include "bridge/window_blocker.h"
#include "bridge/window_icons.h"
#include "messaging/binary_messenger.h"
#include "messaging/method_call.h"
#include "messaging/method_call_channel.h"
#include "messaging/method_result.h"
#include "proxy/proxy_keeper.h"

// The UI application's way to the desktop: owns the two desktop channels and the facilities
// behind them, dispatches each call by its method name to a facility and answers it exactly once,
// never with an error. It keeps the calls in progress, so that a quit waits for the outermost one,
// and the modal loops its facilities run; the facilities keep their own state.
class DesktopBridge final : private HostServices {
 public:
  // |messenger| is the engine's and outlives the bridge; |window| is the host's main window.
  // |system| performs what the facilities ask of the system, their construction included.
  DesktopBridge(flutter::BinaryMessenger* messenger, HWND window,
                SystemCalls system = SystemCalls::Real());
  ~DesktopBridge();

  DesktopBridge(const DesktopBridge&) = delete;
  DesktopBridge& operator=(const DesktopBridge&) = delete;

  // The two dispatchers; each replies through |result| before it returns, or hands it to the
  // shell worker, which replies once its job is done.
  void HandleDesktopCall(const flutter::MethodCall& call,
                         std::unique_ptr<flutter::MethodResult> result);
  void HandleUiCall(const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result);

  // The engine has shown its first frame: the tray icon is added now rather than before, since
  // the shell's round trip for it would only hold up what the user sees first. A tooltip or a
  // balloon asked for earlier has added it already.
  void OnFirstFrame();

  // Offered every message of the main window before anyone else; a value means the bridge
  // consumed the message and that is its result. The quit message destroys the window, and with
  // it this bridge, unless a call is being handled.
  std::optional<LRESULT> HandleWindowMessage(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam);

 private:
  using MethodHandler = void (DesktopBridge::*)(const MethodArguments& arguments,
                                                std::unique_ptr<flutter::MethodResult> result);
  struct Method {
    std::string_view name;
    MethodHandler handler;
  };

  // Counts a call that the bridge is handling, from its start to its end: a channel call, a
  // window message it acts on, a modal loop, a reply of the shell worker. Whatever the call does
  // may let a sent message in (the shell's calls, a COM modal loop inside ShellExecuteW), and a
  // quit among them must not destroy the bridge under it.
  class HandlingCall {
   public:
    explicit HandlingCall(DesktopBridge& bridge);
    ~HandlingCall();
    HandlingCall(const HandlingCall&) = delete;
    HandlingCall& operator=(const HandlingCall&) = delete;

   private:
    DesktopBridge& bridge_;
  };

  // What the facilities may ask of the bridge.
  void BringToFront() override;
  bool RunModalLoop(ModalLoop kind, const std::function<void()>& loop) override;
  void Quit() override;
  bool InMiniMode() const override;

  void Dispatch(std::span<const Method> methods, const flutter::MethodCall& call,
                std::unique_ptr<flutter::MethodResult> result);
  std::optional<LRESULT> HandleCountedWindowMessage(HWND window, UINT message, WPARAM wparam,
                                                    LPARAM lparam);
  // The events the facilities report, sent to the UI application.
  void SendEvent(flutter::MethodCallChannel& channel, const char* name,
                 flutter::EncodableMap arguments);

  // The methods of both channels, each reading its arguments and replying with what its
  // facility did.
  void ListApps(const MethodArguments& arguments, std::unique_ptr<flutter::MethodResult> result);
  void GetIcons(const MethodArguments& arguments, std::unique_ptr<flutter::MethodResult> result);
  void GetForeground(const MethodArguments& arguments,
                     std::unique_ptr<flutter::MethodResult> result);
  void BlockWindow(const MethodArguments& arguments, std::unique_ptr<flutter::MethodResult> result);
  void RestoreWindow(const MethodArguments& arguments,
                     std::unique_ptr<flutter::MethodResult> result);
  void GetIdleSeconds(const MethodArguments& arguments,
                      std::unique_ptr<flutter::MethodResult> result);
  void ShowMainWindow(const MethodArguments& arguments,
                      std::unique_ptr<flutter::MethodResult> result);
  void SetQuitAllowed(const MethodArguments& arguments,
                      std::unique_ptr<flutter::MethodResult> result);
  void SetTrayTooltip(const MethodArguments& arguments,
                      std::unique_ptr<flutter::MethodResult> result);
  void SetLaunchAtStartup(const MethodArguments& arguments,
                          std::unique_ptr<flutter::MethodResult> result);
  void GetLaunchAtStartup(const MethodArguments& arguments,
                          std::unique_ptr<flutter::MethodResult> result);
  void IsPackaged(const MethodArguments& arguments, std::unique_ptr<flutter::MethodResult> result);
  void GetProxy(const MethodArguments& arguments, std::unique_ptr<flutter::MethodResult> result);
  void SetProxy(const MethodArguments& arguments, std::unique_ptr<flutter::MethodResult> result);
  void LaunchApp(const MethodArguments& arguments, std::unique_ptr<flutter::MethodResult> result);
  void SetMiniMode(const MethodArguments& arguments, std::unique_ptr<flutter::MethodResult> result);
  void StartDrag(const MethodArguments& arguments, std::unique_ptr<flutter::MethodResult> result);
  void Notify(const MethodArguments& arguments, std::unique_ptr<flutter::MethodResult> result);
  void SetTrayStatus(const MethodArguments& arguments,
                     std::unique_ptr<flutter::MethodResult> result);

  HWND window_;
  // The system's own operations unless a test replaced them; the facilities hold what they use.
  SystemCalls system_;
  std::unique_ptr<flutter::MethodCallChannel> desktop_channel_;
  std::unique_ptr<flutter::MethodCallChannel> ui_channel_;

  // The facilities, made in this order and ended in the destructor's.
  std::unique_ptr<ProxyKeeper> proxy_;
  std::unique_ptr<ForegroundWatcher> foreground_;
  std::unique_ptr<WindowIcons> window_icons_;
  std::unique_ptr<TrayIcon> tray_;
  std::unique_ptr<MiniMode> mini_mode_;
  std::unique_ptr<WindowBlocker> blocker_;
  std::unique_ptr<StartupEntry> startup_;
  std::unique_ptr<ShellJobs> shell_jobs_;

  // Set by the quit path, so that the close it leads to destroys the window instead of hiding it.
  bool quitting_ = false;
  std::optional<ModalLoop> modal_loop_;
  // Calls being handled, nested in one another on the UI thread.
  int calls_in_progress_ = 0;
  // A quit that arrived while a call was being handled.
  bool quit_pending_ = false;
};

#endif  // BRIDGE_DESKTOP_BRIDGE_H_
