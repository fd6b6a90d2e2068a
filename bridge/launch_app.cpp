#include "bridge/launch_app.h"

#include <windows.h>
// shellapi.h needs the types that windows.h declares.
#include <shellapi.h>

#include <optional>
#include <string>

#include "bridge/desktop_bridge.h"

bool ShellExecuteSucceeded(INT_PTR code) { return code > 32; }

bool LaunchWithShell(const std::wstring& path) {
  const HINSTANCE code =
      ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return ShellExecuteSucceeded(reinterpret_cast<INT_PTR>(code));
}

void DesktopBridge::LaunchApp(const MethodArguments& arguments, flutter::MethodResult& result) {
  bool launched = false;
  const std::optional<std::wstring> path = arguments.GetWideString("path");
  // An empty path names nothing, and one with a zero byte would reach the shell cut short:
  // either way the shell would open something other than what was asked for.
  if (path && !path->empty() && path->find(L'\0') == std::wstring::npos) {
    launched = system_.launch_app(*path);
  }
  const flutter::EncodableValue reply(launched);
  result.Success(&reply);
}
