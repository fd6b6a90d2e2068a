#include "bridge/desktop_bridge.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "bridge/app_icons.h"
#include "bridge/app_identifier.h"
#include "bridge/idle_time.h"
#include "bridge/launch_app.h"
#include "bridge/mini_window_geometry.h"
#include "bridge/window_messages.h"
#include "common/log_file.h"
#include "messaging/standard_method_codec.h"
#include "proxy/proxy_settings_map.h"

namespace {

// Well within the time the system gives a window to handle the session's end.
constexpr std::chrono::milliseconds kSessionEndLogFlush{1000};

void ReplyWith(flutter::MethodResult& result, const flutter::EncodableValue& value) {
  result.Success(&value);
}

}  // namespace

DesktopBridge::DesktopBridge(flutter::BinaryMessenger* messenger, HWND window, SystemCalls system)
    : window_(window), system_(std::move(system)) {
  // An elevated host would otherwise never hear the installer's quit nor the restarted shell's
  // call for its icon: the message filter drops both, coming from processes of lower integrity.
  system_.allow_message_from_lower_integrity(window_, QuitMessage());
  system_.allow_message_from_lower_integrity(window_, TaskbarCreatedMessage());

  const flutter::StandardMethodCodec* codec = &flutter::StandardMethodCodec::ForSerializer(nullptr);
  desktop_channel_ =
      std::make_unique<flutter::MethodCallChannel>(messenger, kDesktopChannel, codec);
  desktop_channel_->SetCallHandler(
      [this](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
        HandleDesktopCall(call, std::move(result));
      });
  ui_channel_ = std::make_unique<flutter::MethodCallChannel>(messenger, kUiChannel, codec);
  ui_channel_->SetCallHandler(
      [this](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
        HandleUiCall(call, std::move(result));
      });

  proxy_ = std::make_unique<ProxyKeeper>(system_.proxy);
  // After both channels exist, since a report goes out on the desktop channel.
  foreground_ = std::make_unique<ForegroundWatcher>(
      window_,
      [this](flutter::EncodableMap identity) {
        SendEvent(*desktop_channel_, "onForeground", std::move(identity));
      },
      // Mini mode comes later; a change before it exists has no timer to put back on top.
      [this](HWND front) {
        if (mini_mode_) mini_mode_->OnForegroundChanged(front);
      });
  window_icons_ = std::make_unique<WindowIcons>(window_);
  // Converted here, where the base is accessible; the facilities see nothing else of the bridge.
  HostServices& services = *this;
  tray_ = std::make_unique<TrayIcon>(
      window_, system_.notify_icon,
      [this](const char* command) {
        SendEvent(*ui_channel_, "onTrayCommand", flutter::EncodableMap{{"command", command}});
      },
      services);
  mini_mode_ = std::make_unique<MiniMode>(
      window_,
      [this] {
        SendEvent(*ui_channel_, "onMiniMode", flutter::EncodableMap{{"enabled", false}});
      },
      system_.list_monitors);
  blocker_ = std::make_unique<WindowBlocker>(window_, system_.virtual_desktops);
  startup_ = std::make_unique<StartupEntry>(system_.is_packaged);
  shell_jobs_ = std::make_unique<ShellJobs>(
      system_.list_folder, system_.read_cloaked,
      [this](flutter::MethodResult& result, const flutter::EncodableValue& value) {
        // The reply ends a call as much as a handler's does: a quit meanwhile waits for it.
        const HandlingCall handling(*this);
        result.Success(&value);
      });
}

DesktopBridge::~DesktopBridge() {
  // First, so that the user's proxy is back even if anything after this fails.
  proxy_->RestoreProxyIfSaved(ProxyRestoreSource::kTeardown);
  foreground_.reset();
  tray_.reset();
  window_icons_.reset();
  // Last of the facilities that act, as its wait for a job stuck in the shell may take a moment;
  // what it has not answered goes unanswered, as the engine goes right after the bridge.
  shell_jobs_.reset();
  // The messenger keeps a channel's handler after the channel is gone, and those handlers point
  // at this bridge. The owner destroys the engine right after the bridge, but a call that still
  // got through would reach freed memory; unregistered, it gets the not-implemented reply.
  ui_channel_->SetCallHandler(nullptr);
  desktop_channel_->SetCallHandler(nullptr);
}

void DesktopBridge::HandleDesktopCall(const flutter::MethodCall& call,
                                      std::unique_ptr<flutter::MethodResult> result) {
  // In the order the names are compared.
  static constexpr Method kMethods[] = {
      {"listApps", &DesktopBridge::ListApps},
      {"getIcons", &DesktopBridge::GetIcons},
      {"getForeground", &DesktopBridge::GetForeground},
      {"blockWindow", &DesktopBridge::BlockWindow},
      {"restoreWindow", &DesktopBridge::RestoreWindow},
      {"getIdleSeconds", &DesktopBridge::GetIdleSeconds},
      {"showWindow", &DesktopBridge::ShowMainWindow},
      {"setQuitAllowed", &DesktopBridge::SetQuitAllowed},
      {"setTrayTooltip", &DesktopBridge::SetTrayTooltip},
      {"setLaunchAtStartup", &DesktopBridge::SetLaunchAtStartup},
      {"getLaunchAtStartup", &DesktopBridge::GetLaunchAtStartup},
      {"isPackaged", &DesktopBridge::IsPackaged},
      {"getProxy", &DesktopBridge::GetProxy},
      {"setProxy", &DesktopBridge::SetProxy},
      {"launchApp", &DesktopBridge::LaunchApp},
  };
  Dispatch(kMethods, call, std::move(result));
}

void DesktopBridge::HandleUiCall(const flutter::MethodCall& call,
                                 std::unique_ptr<flutter::MethodResult> result) {
  static constexpr Method kMethods[] = {
      {"setMiniMode", &DesktopBridge::SetMiniMode},
      {"startDrag", &DesktopBridge::StartDrag},
      {"notify", &DesktopBridge::Notify},
      {"setTrayStatus", &DesktopBridge::SetTrayStatus},
  };
  Dispatch(kMethods, call, std::move(result));
}

DesktopBridge::HandlingCall::HandlingCall(DesktopBridge& bridge) : bridge_(bridge) {
  ++bridge_.calls_in_progress_;
}

DesktopBridge::HandlingCall::~HandlingCall() {
  if (--bridge_.calls_in_progress_ > 0 || !bridge_.quit_pending_) return;
  bridge_.quit_pending_ = false;
  // Through the host's own message loop: by the time it arrives, nothing of the call that just
  // ended, nor of whoever made it, is still on the stack.
  PostMessageW(bridge_.window_, QuitMessage(), 0, 0);
}

void DesktopBridge::Dispatch(std::span<const Method> methods, const flutter::MethodCall& call,
                             std::unique_ptr<flutter::MethodResult> result) {
  const HandlingCall handling(*this);
  const MethodArguments arguments(call.arguments());
  for (const Method& method : methods) {
    // Byte for byte, case included; a name with an embedded zero byte matches nothing.
    if (method.name != call.method_name()) continue;
    (this->*method.handler)(arguments, std::move(result));
    return;
  }
  result->NotImplemented();
}

void DesktopBridge::OnFirstFrame() {
  if (!tray_->added() && !tray_->retry_delay_ms()) tray_->Update();
}

std::optional<LRESULT> DesktopBridge::HandleWindowMessage(HWND window, UINT message, WPARAM wparam,
                                                          LPARAM lparam) {
  if (message == QuitMessage()) {
    // Destroys this bridge, unless a call is being handled; nothing of it is touched afterwards.
    Quit();
    return 0;
  }
  const HandlingCall handling(*this);
  return HandleCountedWindowMessage(window, message, wparam, lparam);
}

std::optional<LRESULT> DesktopBridge::HandleCountedWindowMessage(HWND window, UINT message,
                                                                 WPARAM wparam, LPARAM lparam) {
  // Each facility takes its own messages; offered in this order, which is that of the rows of
  // the hook (icons, session end, close, tray, the foreground's timer, the tracking size). A
  // change of DPI or of the settings goes on through every facility that follows it.
  if (std::optional<LRESULT> result = window_icons_->HandleWindowMessage(message, wparam, lparam)) {
    return result;
  }
  if (message == WM_ENDSESSION) {
    if (wparam == 0) return std::nullopt;
    // The session is really ending, or an installer or an update is closing the host (the
    // Restart Manager): the process may be ended without any teardown, so the user's proxy is
    // put back now, and no later "setProxy" changes it again.
    const bool closing_app = (lparam & ENDSESSION_CLOSEAPP) != 0;
    proxy_->RestoreProxyIfSaved(closing_app ? ProxyRestoreSource::kCloseApp
                                            : ProxyRestoreSource::kSessionEnd);
    proxy_->Close();
    if (!closing_app) {
      // The system may end the process as soon as this message returns: what the log was told
      // of the proxy is on disk by then.
      FlushProcessLog(kSessionEndLogFlush);
      return std::nullopt;
    }
    // Ends as the tray's Quit does, once the call that let this message in (if any) has
    // returned; otherwise the host would stay on, hidden, and its files in use.
    Quit();
    return 0;
  }
  if (message == WM_CLOSE) {
    // The close button sends the host to the tray; only the quit path closes it for good.
    if (quitting_) return std::nullopt;
    ShowWindow(window, SW_HIDE);
    return 0;
  }
  if (std::optional<LRESULT> result = tray_->HandleWindowMessage(message, wparam, lparam)) {
    return result;
  }
  if (std::optional<LRESULT> result = foreground_->HandleWindowMessage(message, wparam, lparam)) {
    return result;
  }
  return mini_mode_->HandleWindowMessage(message, wparam, lparam);
}

void DesktopBridge::SendEvent(flutter::MethodCallChannel& channel, const char* name,
                              flutter::EncodableMap arguments) {
  channel.Invoke(name, std::make_unique<flutter::EncodableValue>(std::move(arguments)));
}

void DesktopBridge::BringToFront() {
  mini_mode_->Exit(true);
  blocker_->RaiseHostWindow();
}

bool DesktopBridge::RunModalLoop(ModalLoop kind, const std::function<void()>& loop) {
  // One at a time: a drag or a menu asked for inside another loop would end by marking no loop
  // running while the outer one still is, and a quit then would end the wrong loop.
  if (modal_loop_) return true;
  // A quit that came while the caller got ready (SetForegroundWindow lets sent messages in) would
  // only be carried out once the user had closed the menu, or let go of the mouse.
  if (quit_pending_) return false;
  const HandlingCall handling(*this);
  modal_loop_ = kind;
  loop();
  modal_loop_.reset();
  return !quit_pending_;
}

void DesktopBridge::Quit() {
  if (calls_in_progress_ > 0) {
    // Destroying the window now would destroy this bridge, and the engine with it, under the
    // handler that let this message in, which would go on with freed memory. The quit follows
    // once the outermost call has returned, and a modal loop, which would not return by itself,
    // is ended.
    quit_pending_ = true;
    if (modal_loop_ == ModalLoop::kTrayMenu) {
      EndMenu();
    } else if (modal_loop_ == ModalLoop::kDrag) {
      PostMessageW(window_, WM_KEYDOWN, VK_ESCAPE, 0);
    }
    return;
  }
  quitting_ = true;
  proxy_->RestoreProxyIfSaved(ProxyRestoreSource::kQuit);
  tray_->Remove();
  // Destroys this bridge: nothing may touch it after this call.
  DestroyWindow(window_);
}

bool DesktopBridge::InMiniMode() const { return mini_mode_->active(); }

void DesktopBridge::ListApps(const MethodArguments&,
                             std::unique_ptr<flutter::MethodResult> result) {
  shell_jobs_->ListApps(std::move(result));
}

void DesktopBridge::GetIcons(const MethodArguments& arguments,
                             std::unique_ptr<flutter::MethodResult> result) {
  const flutter::EncodableValue* size = arguments.Find("size");
  const flutter::EncodableValue* items = arguments.Find("items");
  const auto* paths = items != nullptr ? items->GetIf<flutter::EncodableMap>() : nullptr;
  // Only an int32 is a size; an int64 or a double counts as absent.
  shell_jobs_->GetIcons(
      size != nullptr && size->Holds<int32_t>() ? size->Get<int32_t>() : kDefaultIconSize,
      paths != nullptr ? *paths : flutter::EncodableMap(), std::move(result));
}

void DesktopBridge::GetForeground(const MethodArguments&,
                                  std::unique_ptr<flutter::MethodResult> result) {
  std::optional<flutter::EncodableMap> identity = foreground_->CurrentForeground();
  if (!identity) {
    result->Success(nullptr);
    return;
  }
  ReplyWith(*result, flutter::EncodableValue(std::move(*identity)));
}

void DesktopBridge::BlockWindow(const MethodArguments& arguments,
                                std::unique_ptr<flutter::MethodResult> result) {
  const WindowBlocker::BlockResult blocked = blocker_->Block(arguments.GetWindowHandle("hwnd"));
  if (blocked != WindowBlocker::BlockResult::kShellWindow) BringToFront();
  ReplyWith(*result, flutter::EncodableValue(blocked == WindowBlocker::BlockResult::kMinimized));
}

void DesktopBridge::RestoreWindow(const MethodArguments& arguments,
                                  std::unique_ptr<flutter::MethodResult> result) {
  ReplyWith(*result, flutter::EncodableValue(blocker_->Restore(arguments.GetWindowHandle("hwnd"))));
}

void DesktopBridge::GetIdleSeconds(const MethodArguments&,
                                   std::unique_ptr<flutter::MethodResult> result) {
  ReplyWith(*result, flutter::EncodableValue(IdleSeconds()));
}

void DesktopBridge::ShowMainWindow(const MethodArguments&,
                                   std::unique_ptr<flutter::MethodResult> result) {
  BringToFront();
  ReplyWith(*result, flutter::EncodableValue(true));
}

void DesktopBridge::SetQuitAllowed(const MethodArguments& arguments,
                                   std::unique_ptr<flutter::MethodResult> result) {
  if (const std::optional<bool> allowed = arguments.GetBool("allowed")) {
    tray_->SetQuitAllowed(*allowed);
  }
  result->Success(nullptr);
}

void DesktopBridge::SetTrayTooltip(const MethodArguments& arguments,
                                   std::unique_ptr<flutter::MethodResult> result) {
  // Only a string changes the tooltip; anything else keeps the one shown.
  if (std::optional<std::wstring> text = arguments.GetWideString("text")) {
    tray_->SetTooltip(std::move(*text));
  }
  result->Success(nullptr);
}

void DesktopBridge::SetLaunchAtStartup(const MethodArguments& arguments,
                                       std::unique_ptr<flutter::MethodResult> result) {
  ReplyWith(*result,
            flutter::EncodableValue(startup_->Set(arguments.GetBool("enabled").value_or(false))));
}

void DesktopBridge::GetLaunchAtStartup(const MethodArguments&,
                                       std::unique_ptr<flutter::MethodResult> result) {
  ReplyWith(*result, flutter::EncodableValue(startup_->IsEnabled()));
}

void DesktopBridge::IsPackaged(const MethodArguments&,
                               std::unique_ptr<flutter::MethodResult> result) {
  ReplyWith(*result, flutter::EncodableValue(startup_->IsPackaged()));
}

void DesktopBridge::GetProxy(const MethodArguments&,
                             std::unique_ptr<flutter::MethodResult> result) {
  const std::optional<ProxySettings> settings = proxy_->Query();
  if (!settings) {
    result->Success(nullptr);
    return;
  }
  ReplyWith(*result, flutter::EncodableValue(ProxySettingsToMap(*settings)));
}

void DesktopBridge::SetProxy(const MethodArguments& arguments,
                             std::unique_ptr<flutter::MethodResult> result) {
  // Arguments that are no map at all ask for nothing; read as an empty map, they would switch
  // the user's proxy off.
  if (arguments.map() == nullptr) {
    ReplyWith(*result, flutter::EncodableValue(false));
    return;
  }
  const flutter::EncodableValue* restore = arguments.Find("restoreOnExit");
  std::optional<ProxySettings> to_restore;
  // A snapshot of any other type than a map counts as none given.
  if (const auto* restore_map =
          restore != nullptr ? restore->GetIf<flutter::EncodableMap>() : nullptr) {
    to_restore = ProxySettingsFromMap(*restore_map);
  }
  const bool applied = proxy_->Apply(ProxySettingsFromMap(*arguments.map()), std::move(to_restore));
  ReplyWith(*result, flutter::EncodableValue(applied));
}

void DesktopBridge::LaunchApp(const MethodArguments& arguments,
                              std::unique_ptr<flutter::MethodResult> result) {
  const std::optional<std::wstring> path = arguments.GetWideString("path");
  const bool launched = path && IsLaunchablePath(*path) && system_.launch_app(*path);
  ReplyWith(*result, flutter::EncodableValue(launched));
}

void DesktopBridge::SetMiniMode(const MethodArguments& arguments,
                                std::unique_ptr<flutter::MethodResult> result) {
  if (arguments.GetBool("enabled").value_or(false)) {
    mini_mode_->Enter(arguments.GetNumber("width", kDefaultMiniWidth),
                      arguments.GetNumber("height", kDefaultMiniHeight));
  } else {
    mini_mode_->Exit(false);
    BringToFront();
  }
  ReplyWith(*result, flutter::EncodableValue(mini_mode_->active()));
}

void DesktopBridge::StartDrag(const MethodArguments&,
                              std::unique_ptr<flutter::MethodResult> result) {
  // Answered first: the move loop lasts until the user lets go of the mouse.
  result->Success(nullptr);
  RunModalLoop(ModalLoop::kDrag, [this] { mini_mode_->Drag(); });
}

void DesktopBridge::Notify(const MethodArguments& arguments,
                           std::unique_ptr<flutter::MethodResult> result) {
  tray_->Notify(arguments.GetWideString("title").value_or(std::wstring()),
                arguments.GetWideString("body").value_or(std::wstring()));
  result->Success(nullptr);
}

void DesktopBridge::SetTrayStatus(const MethodArguments& arguments,
                                  std::unique_ptr<flutter::MethodResult> result) {
  // A missing status clears the line, unlike a missing tooltip, which keeps the old one.
  tray_->SetStatus(arguments.GetWideString("status").value_or(std::wstring()),
                   arguments.GetBool("session"));
  result->Success(nullptr);
}
