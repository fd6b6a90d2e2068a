#ifndef BRIDGE_SYSTEM_CALLS_H_
#define BRIDGE_SYSTEM_CALLS_H_

#include <windows.h>
// shellapi.h and wininet.h need the types that windows.h declares.
#include <shellapi.h>
#include <wininet.h>

#include <functional>
#include <string>

#include "bridge/folder_listing.h"
#include "bridge/window_cloaking.h"

// What the desktop methods do that a test must not do for real, or cannot arrange under Wine:
// one entry per facility operation, never one per system call, so that a test's fake is a
// lambda keeping its record in the test's own locals. Decisions stay outside, in pure
// functions on values, and everything else runs for real under test.
struct SystemCalls {
  // Asks the shell to open |path| as a double click would; true when the shell accepted. A test
  // must not start programs on the machine it runs on.
  std::function<bool(const std::wstring& path)> launch_app;

  // Shows the balloon notification that |data| describes over the tray icon; false when the
  // shell refused it. Wine shows none a test could see.
  std::function<bool(const NOTIFYICONDATAW& data)> show_balloon;

  // Whether the process runs with package identity. A test cannot give its process a package.
  std::function<bool()> is_packaged;

  // Sets WinINet's per-connection options in |options| and tells WinINet that the settings
  // changed; false when setting them failed. Wine keeps neither bypass nor autoconfig URL and
  // reads flags 3 back as 2, and a test must not change the proxy of the machine it runs on.
  std::function<bool(INTERNET_PER_CONN_OPTION_LISTW& options)> apply_proxy_options;

  // Reads the per-connection options named in |options| into it; texts come back allocated for
  // the caller to free with GlobalFree. False when they cannot be read.
  std::function<bool(INTERNET_PER_CONN_OPTION_LISTW& options)> query_proxy_options;

  // Lets |message| reach |window| from processes of a lower integrity level than this one's,
  // which the system's message filter otherwise drops for an elevated process; false when the
  // filter refused. Wine keeps no integrity levels, so only the call itself can be seen.
  std::function<bool(HWND window, UINT message)> allow_message_from_lower_integrity;

  // Starts the proxy guard beside the executable, which puts the durable proxy snapshot back if
  // this process ends without doing it; false when it could not be started. A test must not
  // leave processes running, nor one that changes the proxy of the machine it runs on.
  std::function<bool()> start_proxy_guard;

  // Lists one folder of the Start menu's walk. Under Wine every folder can be listed (Wine keeps
  // no access rules and the tests run as root) and it makes neither junctions nor directory
  // links, so a test cannot arrange a folder that refuses to open or one that must not be
  // entered.
  FolderLister list_folder;

  // Reads whether the compositor hides a window (DWMWA_CLOAKED). Wine's compositor answers
  // E_NOTIMPL, so a test cannot have a window hidden this way.
  CloakReader read_cloaked;

  // The system's own operations, which the bridge starts with; this unit alone performs them.
  static SystemCalls Real();
};

// ShellExecuteW's result is no instance handle but a code: up to 32 an error, anything greater
// a success, read as a signed number.
bool ShellExecuteSucceeded(INT_PTR code);

#endif  // BRIDGE_SYSTEM_CALLS_H_
