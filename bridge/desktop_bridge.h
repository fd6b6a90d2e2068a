#ifndef BRIDGE_DESKTOP_BRIDGE_H_
#define BRIDGE_DESKTOP_BRIDGE_H_

#include <windows.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "bridge/method_arguments.h"
#include "bridge/proxy_settings.h"
#include "bridge/system_calls.h"
#include "messaging/binary_messenger.h"
#include "messaging/method_call.h"
#include "messaging/method_call_channel.h"
#include "messaging/method_result.h"

// The UI application's way to the desktop: owns the two desktop channels, dispatches each call
// by its method name and answers it exactly once, never with an error.
class DesktopBridge {
 public:
  // |messenger| is the engine's and outlives the bridge; |window| is the host's main window.
  DesktopBridge(flutter::BinaryMessenger* messenger, HWND window);
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
                                           DWORD time);

  // Sends "onForeground" with |window|'s identity; nothing is awaited.
  void OnForegroundChanged(HWND window);

  // Applies the proxy snapshot the UI application asked to have put back, once; later calls do
  // nothing until a new snapshot is given.
  void RestoreProxyIfSaved();

  // What the UI application last set for the tray.
  bool quit_allowed() const { return quit_allowed_; }
  const std::wstring& tray_tooltip() const { return tray_tooltip_; }
  const std::wstring& tray_status() const { return tray_status_; }
  bool session_active() const { return session_active_; }
  HWINEVENTHOOK foreground_hook() const { return foreground_hook_; }
  const std::optional<ProxySettings>& proxy_to_restore() const { return proxy_to_restore_; }

  // For a test to replace the operations it must not run for real.
  SystemCalls& system_calls_for_testing() { return system_; }

 private:
  using MethodHandler = void (DesktopBridge::*)(const MethodArguments& arguments,
                                                flutter::MethodResult& result);
  struct Method {
    std::string_view name;
    // Null while the facility behind the method is not part of the host.
    MethodHandler handler;
  };

  void Dispatch(std::span<const Method> methods, const flutter::MethodCall& call,
                flutter::MethodResult& result);

  void ListApps(const MethodArguments& arguments, flutter::MethodResult& result);
  void GetIcons(const MethodArguments& arguments, flutter::MethodResult& result);
  void GetForeground(const MethodArguments& arguments, flutter::MethodResult& result);
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
  bool quit_allowed_ = true;
  std::wstring tray_tooltip_ = L"Keelo";
  std::wstring tray_status_;
  bool session_active_ = false;
  std::optional<ProxySettings> proxy_to_restore_;
  // The system's own operations unless a test replaced them.
  SystemCalls system_ = SystemCalls::Real();
};

#endif  // BRIDGE_DESKTOP_BRIDGE_H_
