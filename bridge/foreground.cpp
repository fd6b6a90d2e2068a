#include <memory>

#include "bridge/app_identity.h"
#include "bridge/desktop_bridge.h"

void CALLBACK DesktopBridge::ForegroundEventProc(HWINEVENTHOOK, DWORD, HWND window, LONG object_id,
                                                 LONG, DWORD, DWORD) noexcept {
  if (object_id != OBJID_WINDOW) return;
  if (window == nullptr) return;
  // The hook carries no user data; events still queued after the bridge went are dropped here.
  DesktopBridge* bridge = current();
  if (bridge == nullptr) return;
  bridge->OnForegroundChanged(window);
}

void DesktopBridge::OnForegroundChanged(HWND window) {
  desktop_channel_->Invoke("onForeground",
                           std::make_unique<flutter::EncodableValue>(BuildWindowIdentity(window)));
}

void DesktopBridge::GetForeground(const MethodArguments&, flutter::MethodResult& result) {
  HWND foreground = GetForegroundWindow();
  if (foreground == nullptr || foreground == window_) {
    result.Success(nullptr);
    return;
  }
  const flutter::EncodableValue reply(BuildWindowIdentity(foreground));
  result.Success(&reply);
}
