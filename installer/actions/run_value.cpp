#include "installer/actions/run_value.h"

#include <windows.h>

#include <cwchar>

#include "common/shared_names.h"

namespace {

bool RunValueExists() {
  return RegGetValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, RRF_RT_ANY, nullptr, nullptr,
                      nullptr) == ERROR_SUCCESS;
}

}  // namespace

bool RemoveStartAtSignIn() {
  const auto gone = [](const wchar_t* key) {
    const LSTATUS status = RegDeleteKeyValueW(HKEY_CURRENT_USER, key, kRunValueName);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
  };
  const bool approval_gone = gone(kStartupApprovedKeyPath);
  return gone(kRunKeyPath) && approval_gone;
}

std::optional<std::wstring> ReadRunValue() {
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, RRF_RT_REG_SZ, nullptr, nullptr,
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring data(size / sizeof(wchar_t), L'\0');
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, RRF_RT_REG_SZ, nullptr,
                   data.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  data.resize(wcsnlen(data.c_str(), data.size()));
  return data;
}

bool RestoreRunValue(const std::wstring& data) {
  if (RunValueExists()) return true;
  // The size counts the terminating NUL, as the host writes it.
  const DWORD size = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
  return RegSetKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, REG_SZ, data.c_str(),
                         size) == ERROR_SUCCESS;
}
