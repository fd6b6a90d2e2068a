#ifndef BRIDGE_SYSTEM_CALLS_H_
#define BRIDGE_SYSTEM_CALLS_H_

#include <windows.h>
// shellapi.h needs the types that windows.h declares.
#include <shellapi.h>

#include <functional>
#include <string>

#include "bridge/display_monitors.h"
#include "bridge/folder_listing.h"
#include "bridge/virtual_desktops.h"
#include "bridge/window_cloaking.h"
#include "proxy/proxy_calls.h"

// What the desktop methods do that a test must not do for real, or cannot arrange under Wine:
// one entry per facility operation, never one per system call, so that a test's fake is a
// lambda keeping its record in the test's own locals. Decisions stay outside, in pure
// functions on values, and everything else runs for real under test. Each facility is given the
// entries it needs when it is made.
struct SystemCalls {
  // Asks the shell to open |path| as a double click would; true when the shell accepted. A test
  // must not start programs on the machine it runs on.
  std::function<bool(const std::wstring& path)> launch_app;

  // Asks the shell to add, change or delete the notification-area icon, or to show a balloon
  // over it (|message| is NIM_ADD, NIM_MODIFY or NIM_DELETE, |data| what it carries); false when
  // the shell refused. Wine shows no balloon a test could see, keeps no tooltip a test could read,
  // and a test cannot have a shell that is not ready yet.
  std::function<bool(DWORD message, const NOTIFYICONDATAW& data)> notify_icon;

  // Whether the process runs with package identity. A test cannot give its process a package.
  std::function<bool()> is_packaged;

  // Lets |message| reach |window| from processes of a lower integrity level than this one's,
  // which the system's message filter otherwise drops for an elevated process; false when the
  // filter refused. Wine keeps no integrity levels, so only the call itself can be seen.
  std::function<bool(HWND window, UINT message)> allow_message_from_lower_integrity;

  // What keeping the user's proxy does: WinINet's apply and query, the guard's start.
  ProxyCalls proxy;

  // Lists one folder of the Start menu's walk. Under Wine every folder can be listed (Wine keeps
  // no access rules and the tests run as root) and it makes neither junctions nor directory
  // links, so a test cannot arrange a folder that refuses to open or one that must not be
  // entered.
  FolderLister list_folder;

  // Reads whether the compositor hides a window (DWMWA_CLOAKED). Wine's compositor answers
  // E_NOTIMPL, so a test cannot have a window hidden this way.
  CloakReader read_cloaked;

  // Lists the monitors with their work areas and DPIs. Wine shows one monitor, keeps its work
  // area the whole screen whatever the taskbar does, and changes no DPI while a process runs, so
  // a test cannot move a taskbar, unplug a monitor or change the scaling.
  MonitorLister list_monitors;

  // Asks the shell where a window is among the virtual desktops, and moves the host's own
  // window to the one in front. Wine has no virtual desktops and no such interface.
  VirtualDesktopCalls virtual_desktops;

  // The system's own operations, which the bridge starts with; this unit alone performs them,
  // and proxy/ those of the proxy.
  static SystemCalls Real();
};

// ShellExecuteW's result is no instance handle but a code: up to 32 an error, anything greater
// a success, read as a signed number.
bool ShellExecuteSucceeded(INT_PTR code);

#endif  // BRIDGE_SYSTEM_CALLS_H_
