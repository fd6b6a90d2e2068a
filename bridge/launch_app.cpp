#include <windows.h>

#include <optional>
#include <string>

#include "bridge/desktop_bridge.h"

void DesktopBridge::LaunchApp(const MethodArguments& arguments, flutter::MethodResult& result) {
  bool launched = false;
  const std::optional<std::wstring> path = arguments.GetWideString("path");
  // An empty path names nothing, and one with a zero byte would reach the shell cut short:
  // either way the shell would open something other than what was asked for.
  if (path && !path->empty() && path->find(L'\0') == std::wstring::npos) {
    const HINSTANCE code =
        system_.shell_execute(nullptr, L"open", path->c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    // Not a real instance handle: an error code below 33, or anything greater on success.
    launched = reinterpret_cast<INT_PTR>(code) > 32;
  }
  const flutter::EncodableValue reply(launched);
  result.Success(&reply);
}
