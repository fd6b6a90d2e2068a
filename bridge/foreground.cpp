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
  // What is in front now is what the UI application must know; an earlier frame no longer is.
  CancelFrameLookAgain();
  const AppProcess process = ResolveAppProcess(window);
  ReportForeground(window, process);
  if (process.frame != FrameState::kWaitingForApp) return;
  // A packaged app that starts or comes back from minimised is named by its frame before its
  // own window is placed inside, and the system sends no second event once it is: without a
  // second look the app would escape blocking until the user switched away and back.
  frame_to_look_again_ = window;
  SetTimer(window_, kFrameLookAgainTimer, kFrameLookAgainDelayMs, nullptr);
}

void DesktopBridge::ReportForeground(HWND window, const AppProcess& process) {
  desktop_channel_->Invoke("onForeground", std::make_unique<flutter::EncodableValue>(
                                               BuildWindowIdentity(window, process)));
}

void DesktopBridge::LookAgainAtFrame() {
  HWND frame = frame_to_look_again_;
  // Once only: a frame that still holds no app by now is left as reported.
  CancelFrameLookAgain();
  // A timer message already queued when the look was cancelled finds nothing to look at.
  if (frame == nullptr) return;
  const AppProcess process = ResolveAppProcess(frame);
  if (process.frame == FrameState::kHostingApp) ReportForeground(frame, process);
}

void DesktopBridge::CancelFrameLookAgain() {
  if (frame_to_look_again_ == nullptr) return;
  KillTimer(window_, kFrameLookAgainTimer);
  frame_to_look_again_ = nullptr;
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
