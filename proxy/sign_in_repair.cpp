#include "proxy/sign_in_repair.h"

#include <windows.h>

#include "common/shared_names.h"

std::wstring SignInRepairCommand(const std::wstring& guard_path) {
  return L"\"" + guard_path + L"\" " + kGuardRestoreOnlySwitch;
}

bool AddSignInRepair(const std::wstring& guard_path) {
  const std::wstring command = SignInRepairCommand(guard_path);
  // The size counts the terminating NUL, as a registry editor writes a string.
  const DWORD size = static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t));
  return RegSetKeyValueW(HKEY_CURRENT_USER, kRunOnceKeyPath, kSignInRepairValueName, REG_SZ,
                         command.c_str(), size) == ERROR_SUCCESS;
}

bool RemoveSignInRepair() {
  const LSTATUS status =
      RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunOnceKeyPath, kSignInRepairValueName);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}
