#include "bridge/startup_entry.h"

#include <optional>
#include <utility>

#include "common/app_paths.h"
#include "common/scoped_handles.h"
#include "common/shared_names.h"

namespace {

// Windows writes 12 bytes (a flag word and the time of the switch); more is read to be safe.
constexpr DWORD kApprovalCapacity = 64;

bool StartupApprovalDisablesTheEntry() {
  uint8_t data[kApprovalCapacity] = {};
  DWORD size = sizeof(data);
  // Only the binary value the system writes is read; anything else switches nothing off.
  if (RegGetValueW(HKEY_CURRENT_USER, kStartupApprovedKeyPath, kRunValueName, RRF_RT_REG_BINARY,
                   nullptr, data, &size) != ERROR_SUCCESS) {
    return false;
  }
  return StartupApprovalDisables(std::span<const uint8_t>(data, size));
}

// True when no approval value is left, also when there was none or no key for it.
bool DeleteStartupApproval() {
  const LSTATUS status =
      RegDeleteKeyValueW(HKEY_CURRENT_USER, kStartupApprovedKeyPath, kRunValueName);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace

std::wstring RunValueData(const std::wstring& executable_path) {
  return L"\"" + executable_path + L"\" --minimized";
}

bool StartupApprovalDisables(std::span<const uint8_t> data) {
  return !data.empty() && (data[0] & 1) != 0;
}

StartupEntry::StartupEntry(IsPackagedCheck is_packaged) : is_packaged_(std::move(is_packaged)) {}

bool StartupEntry::IsPackaged() const { return is_packaged_(); }

bool StartupEntry::IsEnabled() const {
  if (IsPackaged()) return false;
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, RRF_RT_REG_SZ, nullptr, nullptr,
                   nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return !StartupApprovalDisablesTheEntry();
}

bool StartupEntry::Set(bool enabled) const {
  if (IsPackaged()) return false;
  ScopedRegistryKey run_key;
  // Opened, never created: a system without the Run key has no use for the value.
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKeyPath, 0, KEY_SET_VALUE, run_key.put()) !=
      ERROR_SUCCESS) {
    return false;
  }
  if (!enabled) {
    // A switch left behind would turn a later Run value off before the user sees it.
    const bool approval_gone = DeleteStartupApproval();
    const LSTATUS status = RegDeleteValueW(run_key.get(), kRunValueName);
    return (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) && approval_gone;
  }
  // A path cut short would start nothing at sign-in while the UI says it will.
  const std::optional<std::wstring> executable = ModuleFilePath(nullptr);
  if (!executable) return false;
  const std::wstring data = RunValueData(*executable);
  const DWORD size = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
  if (RegSetValueExW(run_key.get(), kRunValueName, 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(data.c_str()), size) != ERROR_SUCCESS) {
    return false;
  }
  // Asked for here, in the host, the entry must not stay switched off elsewhere; an approval
  // that leaves it on is the user's and stays.
  return !StartupApprovalDisablesTheEntry() || DeleteStartupApproval();
}
