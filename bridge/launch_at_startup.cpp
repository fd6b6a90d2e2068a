#include "bridge/launch_at_startup.h"

#include <windows.h>

#include <optional>

#include "bridge/desktop_bridge.h"
#include "common/app_paths.h"
#include "common/scoped_handles.h"

std::wstring RunValueData(const std::wstring& executable_path) {
  return L"\"" + executable_path + L"\" --minimized";
}

bool IsPackaged(const SystemCalls& system) { return system.is_packaged(); }

bool IsLaunchAtStartupEnabled(const SystemCalls& system) {
  if (IsPackaged(system)) return false;
  return RegGetValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, RRF_RT_REG_SZ, nullptr,
                      nullptr, nullptr) == ERROR_SUCCESS;
}

bool SetLaunchAtStartup(bool enabled, const SystemCalls& system) {
  if (IsPackaged(system)) return false;
  ScopedRegistryKey run_key;
  // Opened, never created: a system without the Run key has no use for the value.
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKeyPath, 0, KEY_SET_VALUE, run_key.put()) !=
      ERROR_SUCCESS) {
    return false;
  }
  if (!enabled) {
    const LSTATUS status = RegDeleteValueW(run_key.get(), kRunValueName);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
  }
  // A path cut short would start nothing at sign-in while the UI says it will.
  const std::optional<std::wstring> executable = ModuleFilePath(nullptr);
  if (!executable) return false;
  const std::wstring data = RunValueData(*executable);
  const DWORD size = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(run_key.get(), kRunValueName, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(data.c_str()), size) == ERROR_SUCCESS;
}

void DesktopBridge::GetLaunchAtStartup(const MethodArguments&, flutter::MethodResult& result) {
  const flutter::EncodableValue reply(IsLaunchAtStartupEnabled(system_));
  result.Success(&reply);
}

void DesktopBridge::SetLaunchAtStartupMethod(const MethodArguments& arguments,
                                             flutter::MethodResult& result) {
  const bool enabled = arguments.GetBool("enabled").value_or(false);
  const flutter::EncodableValue reply(SetLaunchAtStartup(enabled, system_));
  result.Success(&reply);
}

void DesktopBridge::IsPackagedMethod(const MethodArguments&, flutter::MethodResult& result) {
  const flutter::EncodableValue reply(IsPackaged(system_));
  result.Success(&reply);
}
