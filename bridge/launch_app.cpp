#include <optional>
#include <string>

#include "bridge/desktop_bridge.h"

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
