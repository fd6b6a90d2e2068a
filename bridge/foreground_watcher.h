#ifndef BRIDGE_FOREGROUND_WATCHER_H_
#define BRIDGE_FOREGROUND_WATCHER_H_

#include <windows.h>

#include <functional>
#include <optional>

#include "bridge/app_identity.h"
#include "messaging/encodable_value.h"

// Which application the user has in front: reported on every change of the foreground window to
// another process's, through the system's foreground hook, and given on request.
class ForegroundWatcher {
 public:
  // Receives the identity record of a window that came to the front.
  using Report = std::function<void(flutter::EncodableMap identity)>;
  // Receives the window that came to the front, before anything is asked about it.
  using InFront = std::function<void(HWND window)>;

  // Installs the hook, which tells |in_front| and reports through |report| while this watcher
  // lives. |window| is the host's main window, which also carries the timer of a second look at
  // a packaged app's frame.
  ForegroundWatcher(HWND window, Report report, InFront in_front);
  // Removes the hook and the second look's timer.
  ~ForegroundWatcher();

  ForegroundWatcher(const ForegroundWatcher&) = delete;
  ForegroundWatcher& operator=(const ForegroundWatcher&) = delete;

  // The hook's procedure: a window of another process came to the front. The hook carries no
  // user data, so it reaches the live watcher through a pointer of the process's own.
  static void CALLBACK ForegroundEventProc(HWINEVENTHOOK hook, DWORD event, HWND window,
                                           LONG object_id, LONG child_id, DWORD thread_id,
                                           DWORD time) noexcept;

  // Tells who wants to know at once that |window| is in front, then reports its identity. A
  // packaged app's frame that does not hold the app's window yet is looked at once more shortly
  // after, and reported again if the app is inside by then.
  void OnForegroundChanged(HWND window);

  // The identity of the window in front; nothing when there is none or it is the host's own.
  std::optional<flutter::EncodableMap> CurrentForeground() const;

  // The second look's timer; anything else goes on to the others.
  std::optional<LRESULT> HandleWindowMessage(UINT message, WPARAM wparam, LPARAM lparam);

  // Null when the system refused the hook: then nothing is reported, and the rest still works.
  HWINEVENTHOOK hook() const { return hook_; }

 private:
  // The main window's timer for the second look at a packaged app's frame, and its delay.
  static constexpr UINT_PTR kFrameLookAgainTimer = 0x4B46;
  static constexpr UINT kFrameLookAgainDelayMs = 250;

  void ReportForeground(HWND window, const AppProcess& process);
  // The second look at |frame_to_look_again_|, when its timer fires.
  void LookAgainAtFrame();
  void CancelFrameLookAgain();

  HWND window_;
  Report report_;
  InFront in_front_;
  HWINEVENTHOOK hook_ = nullptr;
  // A frame reported as the frame host itself, whose timer runs for a second look.
  HWND frame_to_look_again_ = nullptr;
};

#endif  // BRIDGE_FOREGROUND_WATCHER_H_
