#ifndef BRIDGE_DESKTOP_BRIDGE_H_
#define BRIDGE_DESKTOP_BRIDGE_H_

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "bridge/app_identity.h"
#include "bridge/method_arguments.h"
#include "bridge/proxy_log_lines.h"
#include "bridge/proxy_settings.h"
#include "bridge/shell_worker.h"
#include "bridge/system_calls.h"
#include "common/scoped_handles.h"
#include "messaging/binary_messenger.h"
#include "messaging/method_call.h"
#include "messaging/method_call_channel.h"
#include "messaging/method_result.h"

// The UI application's way to the desktop: owns the two desktop channels, dispatches each call
// by its method name and answers it exactly once, never with an error.
class DesktopBridge {
 public:
  // |messenger| is the engine's and outlives the bridge; |window| is the host's main window.
  // |system| performs what the bridge asks of the system, its construction included.
  DesktopBridge(flutter::BinaryMessenger* messenger, HWND window,
                SystemCalls system = SystemCalls::Real());
  ~DesktopBridge();

  DesktopBridge(const DesktopBridge&) = delete;
  DesktopBridge& operator=(const DesktopBridge&) = delete;

  // The live bridge, for callbacks that carry no user data; null when there is none.
  static DesktopBridge* current();

  // The two dispatchers; each replies through |result| before it returns.
  void HandleDesktopCall(const flutter::MethodCall& call,
                         std::unique_ptr<flutter::MethodResult> result);
  void HandleUiCall(const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result);

  // Offered every message of the main window before anyone else; a value means the bridge
  // consumed the message and that is its result.
  std::optional<LRESULT> HandleWindowMessage(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam);

  // The foreground hook's procedure: reports a window of another process that came to the front
  // through the live bridge, if there is one.
  static void CALLBACK ForegroundEventProc(HWINEVENTHOOK hook, DWORD event, HWND window,
                                           LONG object_id, LONG child_id, DWORD thread_id,
                                           DWORD time) noexcept;

  // Sends "onForeground" with |window|'s identity; nothing is awaited. A packaged app's frame
  // that does not hold the app's window yet is looked at once more shortly after, and reported
  // again if the app is inside by then.
  void OnForegroundChanged(HWND window);

  // Applies the proxy snapshot the UI application asked to have put back, once, and says so in
  // the log with |source|; later calls do nothing until a new snapshot is given.
  void RestoreProxyIfSaved(ProxyRestoreSource source);

  // Leaves mini mode (telling the UI application) and puts the main window in front of the user.
  void BringToFront();

  // The main window as a small borderless always-on-top timer of |width| x |height| logical
  // pixels in the bottom-right corner of the work area; resized in place when already there.
  void EnterMiniMode(double width, double height);
  // Back to the window as it was before mini mode; "onMiniMode" {"enabled": false} when |notify|.
  void ExitMiniMode(bool notify);

  // The notification-area icon: added, or brought up to date when already there.
  void UpdateTrayIcon();
  void RemoveTrayIcon();
  // The main window's small and big icons for its current DPI; taken back from the window, and
  // destroyed, by RemoveWindowIcons.
  void UpdateWindowIcons();
  void RemoveWindowIcons();
  // Opens the tray menu at the cursor and carries out what the user chose.
  void ShowTrayMenu();
  // Sends "onTrayCommand" {"command": |command|}.
  void SendTrayCommand(const char* command);
  // Ends the application: the proxy snapshot put back, the icon removed, the window destroyed
  // (and with it this bridge). While the bridge is handling a call, it is carried out once the
  // outermost one has returned; a modal loop of the bridge is ended first.
  void Quit();

  // What the UI application last set for the tray.
  bool quit_allowed() const { return quit_allowed_; }
  const std::wstring& tray_tooltip() const { return tray_tooltip_; }
  const std::wstring& tray_status() const { return tray_status_; }
  bool session_active() const { return session_active_; }
  HWINEVENTHOOK foreground_hook() const { return foreground_hook_; }
  bool tray_icon_added() const { return tray_icon_added_; }
  bool mini_mode() const { return mini_mode_; }
  const std::optional<ProxySettings>& proxy_to_restore() const { return proxy_to_restore_; }

  // For a test to replace the operations it must not run for real.
  SystemCalls& system_calls_for_testing() { return system_; }
  // Calls whose reply the shell worker has yet to give.
  size_t pending_shell_replies() const { return shell_replies_.size(); }

 private:
  using MethodHandler = void (DesktopBridge::*)(const MethodArguments& arguments,
                                                flutter::MethodResult& result);
  // Makes the shell work of a method whose reply comes from the shell worker, with copies of
  // what it needs from the arguments.
  using ShellJobMaker = ShellWorker::Job (DesktopBridge::*)(const MethodArguments& arguments) const;
  struct Method {
    std::string_view name;
    // One of the two; both null while the facility behind the method is not part of the host.
    MethodHandler handler = nullptr;
    ShellJobMaker shell_job = nullptr;
  };

  // The main window's timer for the second look at a packaged app's frame, and its delay.
  static constexpr UINT_PTR kFrameLookAgainTimer = 0x4B46;
  static constexpr UINT kFrameLookAgainDelayMs = 250;

  // The modal loops that the bridge runs on the UI thread, during which a quit must wait.
  enum class ModalLoop { kNone, kTrayMenu, kDrag };

  // Counts a call that the bridge is handling, from its start to its end: a channel call, a
  // window message it acts on, a modal loop. Whatever the call does may let a sent message in
  // (the shell's calls, a COM modal loop inside ShellExecuteW), and a quit among them must not
  // destroy the bridge under it.
  class HandlingCall {
   public:
    explicit HandlingCall(DesktopBridge& bridge);
    ~HandlingCall();
    HandlingCall(const HandlingCall&) = delete;
    HandlingCall& operator=(const HandlingCall&) = delete;

   private:
    DesktopBridge& bridge_;
  };

  void Dispatch(std::span<const Method> methods, const flutter::MethodCall& call,
                std::unique_ptr<flutter::MethodResult> result);
  // Answers |result| with what |job| makes on the shell worker, once it is done.
  void ReplyFromShellWorker(ShellWorker::Job job, std::unique_ptr<flutter::MethodResult> result);
  std::optional<LRESULT> HandleCountedWindowMessage(HWND window, UINT message, WPARAM wparam,
                                                    LPARAM lparam);

  // Not null, alive, and not the host's own window.
  bool IsOtherLiveWindow(HWND window) const;
  // Runs |loop| with any quit held back until it has returned; false when a quit came due before
  // or meanwhile, which is then on its way and after which the caller must return at once. Inside
  // another modal loop it runs nothing and returns true.
  bool RunModalLoop(ModalLoop kind, const std::function<void()>& loop);
  double WindowScale() const;
  void SetCornerPreference(DWORD preference);
  // Makes the durable copy of the proxy snapshot |snapshot| (nothing: none), and starts the
  // proxy guard when a copy appears.
  void KeepProxySnapshotOnDisk(const std::optional<ProxySettings>& snapshot);
  bool HandleTrayCallback(UINT notification);
  void ReportForeground(HWND window, const AppProcess& process);
  // The second look at |frame_to_look_again_|, when its timer fires.
  void LookAgainAtFrame();
  void CancelFrameLookAgain();
  ShellWorker::Job ListApps(const MethodArguments& arguments) const;
  ShellWorker::Job GetIcons(const MethodArguments& arguments) const;
  void GetForeground(const MethodArguments& arguments, flutter::MethodResult& result);
  void BlockWindow(const MethodArguments& arguments, flutter::MethodResult& result);
  void RestoreWindow(const MethodArguments& arguments, flutter::MethodResult& result);
  void ShowMainWindow(const MethodArguments& arguments, flutter::MethodResult& result);
  void SetMiniMode(const MethodArguments& arguments, flutter::MethodResult& result);
  void StartDrag(const MethodArguments& arguments, flutter::MethodResult& result);
  void Notify(const MethodArguments& arguments, flutter::MethodResult& result);
  void GetIdleSeconds(const MethodArguments& arguments, flutter::MethodResult& result);
  void LaunchApp(const MethodArguments& arguments, flutter::MethodResult& result);
  void SetQuitAllowed(const MethodArguments& arguments, flutter::MethodResult& result);
  void SetTrayTooltip(const MethodArguments& arguments, flutter::MethodResult& result);
  void SetTrayStatus(const MethodArguments& arguments, flutter::MethodResult& result);
  void SetLaunchAtStartupMethod(const MethodArguments& arguments, flutter::MethodResult& result);
  void GetLaunchAtStartup(const MethodArguments& arguments, flutter::MethodResult& result);
  void IsPackagedMethod(const MethodArguments& arguments, flutter::MethodResult& result);
  void GetProxy(const MethodArguments& arguments, flutter::MethodResult& result);
  void SetProxy(const MethodArguments& arguments, flutter::MethodResult& result);

  HWND window_;
  std::unique_ptr<flutter::MethodCallChannel> desktop_channel_;
  std::unique_ptr<flutter::MethodCallChannel> ui_channel_;
  HWINEVENTHOOK foreground_hook_ = nullptr;
  bool tray_icon_added_ = false;
  bool quit_allowed_ = true;
  bool quitting_ = false;
  std::wstring tray_tooltip_ = L"Keelo";
  std::wstring tray_status_;
  bool session_active_ = false;
  bool mini_mode_ = false;
  LONG_PTR saved_style_ = 0;
  WINDOWPLACEMENT saved_placement_ = {};
  std::optional<ProxySettings> proxy_to_restore_;
  // Whether this host's snapshot is on disk, so that its proxy guard is running or on its way.
  bool proxy_snapshot_on_disk_ = false;
  // A frame reported as the frame host itself, whose timer runs for a second look.
  HWND frame_to_look_again_ = nullptr;
  ModalLoop modal_loop_ = ModalLoop::kNone;
  // Calls being handled, nested in one another on the UI thread.
  int calls_in_progress_ = 0;
  // A quit that arrived while a call was being handled.
  bool quit_pending_ = false;
  // What the main window draws in its caption and task-switcher entry.
  ScopedIcon small_window_icon_;
  ScopedIcon big_window_icon_;
  // Started by the first call that needs it; its jobs' results, by job id, wait for its values.
  std::unique_ptr<ShellWorker> shell_worker_;
  std::map<uint64_t, std::unique_ptr<flutter::MethodResult>> shell_replies_;
  uint64_t next_shell_job_ = 1;
  // The system's own operations unless a test replaced them.
  SystemCalls system_;
};

#endif  // BRIDGE_DESKTOP_BRIDGE_H_
