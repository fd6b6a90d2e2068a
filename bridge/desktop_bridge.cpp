#include "bridge/desktop_bridge.h"

#include <string>
#include <utility>

#include "bridge/app_identifier.h"
#include "messaging/standard_method_codec.h"

namespace {

// Written only by the bridge's constructor and destructor, on the UI thread.
DesktopBridge* current_bridge = nullptr;

}  // namespace

DesktopBridge::DesktopBridge(flutter::BinaryMessenger* messenger, HWND window) : window_(window) {
  current_bridge = this;

  const flutter::StandardMethodCodec* codec = &flutter::StandardMethodCodec::ForSerializer(nullptr);
  desktop_channel_ = std::make_unique<flutter::MethodCallChannel>(
      messenger, std::string(kAppIdentifier) + "/desktop", codec);
  desktop_channel_->SetCallHandler(
      [this](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
        HandleDesktopCall(call, std::move(result));
      });
  ui_channel_ = std::make_unique<flutter::MethodCallChannel>(
      messenger, std::string(kAppIdentifier) + "/desktop_ui", codec);
  ui_channel_->SetCallHandler(
      [this](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
        HandleUiCall(call, std::move(result));
      });

  // After both channels exist, since a report goes out on the desktop channel. Out of context,
  // its events arrive through this thread's message loop. A failed installation leaves the
  // reports off and everything else working.
  foreground_hook_ = SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
                                     &DesktopBridge::ForegroundEventProc, 0, 0,
                                     WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
  UpdateWindowIcons();
  UpdateTrayIcon();
}

DesktopBridge::~DesktopBridge() {
  // First, so that the user's proxy is back even if anything after this fails.
  RestoreProxyIfSaved();
  if (foreground_hook_ != nullptr) UnhookWinEvent(foreground_hook_);
  RemoveTrayIcon();
  current_bridge = nullptr;
  // The messenger keeps a channel's handler after the channel is gone, and those handlers point
  // at this bridge. The owner destroys the engine right after the bridge, but a call that still
  // got through would reach freed memory; unregistered, it gets the not-implemented reply.
  ui_channel_->SetCallHandler(nullptr);
  desktop_channel_->SetCallHandler(nullptr);
}

DesktopBridge* DesktopBridge::current() { return current_bridge; }

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
      {"setLaunchAtStartup", &DesktopBridge::SetLaunchAtStartupMethod},
      {"getLaunchAtStartup", &DesktopBridge::GetLaunchAtStartup},
      {"isPackaged", &DesktopBridge::IsPackagedMethod},
      {"getProxy", &DesktopBridge::GetProxy},
      {"setProxy", &DesktopBridge::SetProxy},
      {"launchApp", &DesktopBridge::LaunchApp},
  };
  Dispatch(kMethods, call, *result);
}

void DesktopBridge::HandleUiCall(const flutter::MethodCall& call,
                                 std::unique_ptr<flutter::MethodResult> result) {
  static constexpr Method kMethods[] = {
      {"setMiniMode", &DesktopBridge::SetMiniMode},
      {"startDrag", &DesktopBridge::StartDrag},
      {"notify", &DesktopBridge::Notify},
      {"setTrayStatus", &DesktopBridge::SetTrayStatus},
  };
  Dispatch(kMethods, call, *result);
}

void DesktopBridge::Dispatch(std::span<const Method> methods, const flutter::MethodCall& call,
                             flutter::MethodResult& result) {
  const MethodArguments arguments(call.arguments());
  for (const Method& method : methods) {
    // Byte for byte, case included; a name with an embedded zero byte matches nothing.
    if (method.name != call.method_name()) continue;
    if (method.handler == nullptr) break;
    (this->*method.handler)(arguments, result);
    return;
  }
  result.NotImplemented();
}
