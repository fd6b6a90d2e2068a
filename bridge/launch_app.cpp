#include "bridge/launch_app.h"

bool IsLaunchablePath(const std::wstring& path) {
  return !path.empty() && path.find(L'\0') == std::wstring::npos;
}
