#ifndef BRIDGE_TRAY_ICON_H_
#define BRIDGE_TRAY_ICON_H_

#include <windows.h>
// shellapi.h needs the types that windows.h declares.
#include <shellapi.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "bridge/host_services.h"

// The host's one notification-area icon: its tooltip, the menu it opens with the status line the
// UI application set, the balloons it shows, and the messages that reach the main window for it.

inline constexpr UINT kTrayIconId = 1;
inline constexpr UINT kTrayCallbackMessage = WM_APP + 7;
// The most UTF-16 units kept of a tooltip or a status line: room in the shell's 128-unit buffer.
inline constexpr size_t kMaxTrayTextUnits = 120;
// The main window's timer on which a refused icon is offered to the shell again.
inline constexpr UINT_PTR kTrayAddRetryTimer = 0x4B54;

class TrayIcon {
 public:
  // Tells the shell to add, change or delete the icon or to show a balloon (NIM_ADD, NIM_MODIFY,
  // NIM_DELETE with what |data| carries); false when the shell refused.
  using NotifyShell = std::function<bool(DWORD message, const NOTIFYICONDATAW& data)>;
  // Tells the UI application which of its tray commands the user chose: "mini" or "park".
  using SendCommand = std::function<void(const char* command)>;

  // The icon of |window|, with the tooltip "Keelo", added by the first Update (or the first
  // tooltip or balloon). |host| opens the window, runs the menu's loop and quits for the menu's
  // items. A shell that refuses the icon is asked again later, on a timer of |window|, until it
  // takes it.
  TrayIcon(HWND window, NotifyShell notify_shell, SendCommand send_command, HostServices& host);
  // Removes the icon.
  ~TrayIcon();

  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Adds the icon, or brings it up to date when it is there already; a refused add is tried
  // again later.
  void Update();
  // Removes the icon when it is there, and gives up trying to add it.
  void Remove();

  // The tooltip shown from now on, its first kMaxTrayTextUnits units.
  void SetTooltip(std::wstring tooltip);
  // The status line that the menu shows (none when empty), its first kMaxTrayTextUnits units,
  // and, when given, whether a work session runs; both read when the menu next opens.
  void SetStatus(std::wstring status, std::optional<bool> session_active);
  // Whether the menu's quit item may be chosen.
  void SetQuitAllowed(bool allowed);

  // A balloon over the icon, added first if it is not there; without an icon there is none.
  void Notify(const std::wstring& title, const std::wstring& body);

  // Opens the menu at the cursor and carries out what the user chose.
  void ShowMenu();

  // The icon's callback, the shell's "TaskbarCreated" and the timer of the next try to add; a
  // change of DPI or of the icon metrics draws the icon again at its new size, and goes on to the
  // others; anything else goes on to the others.
  std::optional<LRESULT> HandleWindowMessage(UINT message, WPARAM wparam, LPARAM lparam);

  bool added() const { return added_; }
  // The wait before the next try to add the icon; nothing when none is due.
  std::optional<UINT> retry_delay_ms() const { return retry_delay_ms_; }
  const std::wstring& tooltip() const { return tooltip_; }
  const std::wstring& status() const { return status_; }
  bool session_active() const { return session_active_; }
  bool quit_allowed() const { return quit_allowed_; }

 private:
  // The user clicked the icon or a balloon; false for what the icon leaves to others.
  bool HandleCallback(UINT notification);
  // The next try to add, after a wait that grows with each refusal, unless one is due already.
  void ScheduleRetry();
  void CancelRetry();

  HWND window_;
  NotifyShell notify_shell_;
  SendCommand send_command_;
  HostServices& host_;
  bool added_ = false;
  // The adds refused since the last one taken, and the wait before the next try.
  int failed_adds_ = 0;
  std::optional<UINT> retry_delay_ms_;
  std::wstring tooltip_ = L"Keelo";
  std::wstring status_;
  bool session_active_ = false;
  bool quit_allowed_ = true;
};

#endif  // BRIDGE_TRAY_ICON_H_
