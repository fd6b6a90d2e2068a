#include "bridge/desktop_bridge.h"

#include <string>
#include <utility>

#include "bridge/app_identifier.h"
#include "bridge/window_blocking.h"
#include "bridge/window_messages.h"
#include "messaging/standard_method_codec.h"

namespace {

// Written only by the bridge's constructor and destructor, on the UI thread.
DesktopBridge* current_bridge = nullptr;

}  // namespace

DesktopBridge::DesktopBridge(flutter::BinaryMessenger* messenger, HWND window, SystemCalls system)
    : window_(window), system_(std::move(system)) {
  current_bridge = this;
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
  RestoreProxyIfSaved(ProxyRestoreSource::kTeardown);
  if (foreground_hook_ != nullptr) UnhookWinEvent(foreground_hook_);
  CancelFrameLookAgain();
  RemoveTrayIcon();
  RemoveWindowIcons();
  current_bridge = nullptr;
  // Last, as its wait for a job stuck in the shell may take a moment; what it has not answered
  // goes unanswered, as the engine goes right after the bridge.
  shell_worker_.reset();
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
      {.name = "listApps", .shell_job = &DesktopBridge::ListApps},
      {.name = "getIcons", .shell_job = &DesktopBridge::GetIcons},
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
    if (method.shell_job != nullptr) {
      ReplyFromShellWorker((this->*method.shell_job)(arguments), std::move(result));
      return;
    }
    if (method.handler == nullptr) break;
    (this->*method.handler)(arguments, *result);
    return;
  }
  result->NotImplemented();
}

void DesktopBridge::ReplyFromShellWorker(ShellWorker::Job job,
                                         std::unique_ptr<flutter::MethodResult> result) {
  if (!shell_worker_) {
    shell_worker_ =
        std::make_unique<ShellWorker>([this](uint64_t id, const flutter::EncodableValue& value) {
          // The reply ends a call as much as a handler's does: a quit meanwhile waits for it.
          const HandlingCall handling(*this);
          // Taken out first: the reply is the call's last step, and nothing of it stays behind.
          const auto waiting = shell_replies_.find(id);
          if (waiting == shell_replies_.end()) return;
          std::unique_ptr<flutter::MethodResult> answered = std::move(waiting->second);
          shell_replies_.erase(waiting);
          answered->Success(&value);
        });
  }
  // Recorded before the job is given: a worker that cannot start answers it at once.
  const uint64_t id = next_shell_job_++;
  shell_replies_.emplace(id, std::move(result));
  shell_worker_->Submit(id, std::move(job));
}

void DesktopBridge::BringToFront() {
  ExitMiniMode(true);
  ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
  HWND foreground = GetForegroundWindow();
  const DWORD foreground_thread =
      foreground != nullptr ? GetWindowThreadProcessId(foreground, nullptr) : 0;
  const DWORD own_thread = GetCurrentThreadId();
  // Windows only lets the thread that owns the foreground hand it on: joined with that thread's
  // input state for the moment, this thread may take it. Detached again right after, always.
  const bool attach = JoinsForegroundInput(foreground_thread, own_thread,
                                           foreground != nullptr && IsHungAppWindow(foreground));
  if (attach) AttachThreadInput(foreground_thread, own_thread, TRUE);
  BringWindowToTop(window_);
  SetForegroundWindow(window_);
  if (attach) AttachThreadInput(foreground_thread, own_thread, FALSE);
}

bool DesktopBridge::RunModalLoop(ModalLoop kind, const std::function<void()>& loop) {
  // One at a time: a drag or a menu asked for inside another loop would end by marking no loop
  // running while the outer one still is, and a quit then would end the wrong loop.
  if (modal_loop_ != ModalLoop::kNone) return true;
  // A quit that came while the caller got ready (SetForegroundWindow lets sent messages in) would
  // only be carried out once the user had closed the menu, or let go of the mouse.
  if (quit_pending_) return false;
  const HandlingCall handling(*this);
  modal_loop_ = kind;
  loop();
  modal_loop_ = ModalLoop::kNone;
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
  RestoreProxyIfSaved(ProxyRestoreSource::kQuit);
  RemoveTrayIcon();
  // Destroys this bridge: nothing may touch it after this call.
  DestroyWindow(window_);
}
