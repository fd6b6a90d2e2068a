#include "bridge/foreground_watcher.h"

#include <utility>

namespace {

// Written only by the watcher's constructor and destructor, on the UI thread.
ForegroundWatcher* current_watcher = nullptr;

}  // namespace

ForegroundWatcher::ForegroundWatcher(HWND window, Report report, InFront in_front)
    : window_(window), report_(std::move(report)), in_front_(std::move(in_front)) {
  current_watcher = this;
  // Out of context, its events arrive through this thread's message loop. A failed installation
  // leaves the reports off and everything else working.
  hook_ = SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
                          &ForegroundWatcher::ForegroundEventProc, 0, 0,
                          WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
}

ForegroundWatcher::~ForegroundWatcher() {
  if (hook_ != nullptr) UnhookWinEvent(hook_);
  CancelFrameLookAgain();
  current_watcher = nullptr;
}

void CALLBACK ForegroundWatcher::ForegroundEventProc(HWINEVENTHOOK, DWORD, HWND window,
                                                     LONG object_id, LONG, DWORD, DWORD) noexcept {
  if (object_id != OBJID_WINDOW) return;
  if (window == nullptr) return;
  // Events still queued after the watcher went are dropped here.
  if (current_watcher == nullptr) return;
  current_watcher->OnForegroundChanged(window);
}

void ForegroundWatcher::OnForegroundChanged(HWND window) {
  // What is in front now is what the UI application must know; an earlier frame no longer is.
  CancelFrameLookAgain();
  // Before the identity, which asks the window's process: what acts on the window in front (the
  // timer going back above a taskbar) is seen to act at once.
  in_front_(window);
  const AppProcess process = ResolveAppProcess(window);
  ReportForeground(window, process);
  if (process.frame != FrameState::kWaitingForApp) return;
  // A packaged app that starts or comes back from minimised is named by its frame before its
  // own window is placed inside, and the system sends no second event once it is: without a
  // second look the app would escape blocking until the user switched away and back.
  frame_to_look_again_ = window;
  SetTimer(window_, kFrameLookAgainTimer, kFrameLookAgainDelayMs, nullptr);
}

std::optional<flutter::EncodableMap> ForegroundWatcher::CurrentForeground() const {
  HWND foreground = GetForegroundWindow();
  if (foreground == nullptr || foreground == window_) return std::nullopt;
  return BuildWindowIdentity(foreground);
}

std::optional<LRESULT> ForegroundWatcher::HandleWindowMessage(UINT message, WPARAM wparam, LPARAM) {
  if (message != WM_TIMER || wparam != kFrameLookAgainTimer) return std::nullopt;
  LookAgainAtFrame();
  return 0;
}

void ForegroundWatcher::ReportForeground(HWND window, const AppProcess& process) {
  report_(BuildWindowIdentity(window, process));
}

void ForegroundWatcher::LookAgainAtFrame() {
  HWND frame = frame_to_look_again_;
  // Once only: a frame that still holds no app by now is left as reported.
  CancelFrameLookAgain();
  // A timer message already queued when the look was cancelled finds nothing to look at.
  if (frame == nullptr) return;
  const AppProcess process = ResolveAppProcess(frame);
  if (process.frame == FrameState::kHostingApp) ReportForeground(frame, process);
}

void ForegroundWatcher::CancelFrameLookAgain() {
  if (frame_to_look_again_ == nullptr) return;
  KillTimer(window_, kFrameLookAgainTimer);
  frame_to_look_again_ = nullptr;
}
