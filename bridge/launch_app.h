#ifndef BRIDGE_LAUNCH_APP_H_
#define BRIDGE_LAUNCH_APP_H_

#include <string>

// Whether |path| may be given to the shell to open. An empty path names nothing, and one with a
// zero byte would reach the shell cut short: either way the shell would open something other
// than what was asked for.
bool IsLaunchablePath(const std::wstring& path);

#endif  // BRIDGE_LAUNCH_APP_H_
