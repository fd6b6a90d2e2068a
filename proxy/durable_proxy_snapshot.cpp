#include "proxy/durable_proxy_snapshot.h"

#include "common/shared_names.h"
#include "proxy/sign_in_repair.h"

bool SaveProxySnapshot(const ProxySnapshot& snapshot) {
  const std::wstring text = EncodeProxySnapshot(snapshot);
  // The size counts the terminating NUL, as a registry editor writes a string.
  const DWORD size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  return RegSetKeyValueW(HKEY_CURRENT_USER, kProxySnapshotKeyPath, kProxySnapshotValueName, REG_SZ,
                         text.c_str(), size) == ERROR_SUCCESS;
}

std::optional<std::wstring> ReadProxySnapshotText() {
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kProxySnapshotKeyPath, kProxySnapshotValueName, RRF_RT_REG_SZ,
                   nullptr, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring text(size / sizeof(wchar_t), L'\0');
  if (RegGetValueW(HKEY_CURRENT_USER, kProxySnapshotKeyPath, kProxySnapshotValueName, RRF_RT_REG_SZ,
                   nullptr, text.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  // Only the terminator goes: a text of the snapshot may itself hold a NUL, which its length
  // accounts for.
  text.resize(size / sizeof(wchar_t));
  if (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

std::optional<ProxySnapshot> ReadProxySnapshot() {
  const std::optional<std::wstring> text = ReadProxySnapshotText();
  if (!text) return std::nullopt;
  return DecodeProxySnapshot(*text);
}

bool RemoveProxySnapshot() {
  const LSTATUS status =
      RegDeleteKeyValueW(HKEY_CURRENT_USER, kProxySnapshotKeyPath, kProxySnapshotValueName);
  // With nothing left to repair, a repair at sign-in would only start a program for nothing.
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) RemoveSignInRepair();
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

std::optional<ProxyRestoreOutcome> RestoreProxySnapshot(
    const ProxyCalls& calls, const std::function<bool(const ProcessIdentity& owner)>& accept) {
  const std::optional<std::wstring> text = ReadProxySnapshotText();
  if (!text) return std::nullopt;
  const std::optional<ProxySnapshot> snapshot = DecodeProxySnapshot(*text);
  if (!snapshot || !accept(snapshot->owner)) return std::nullopt;
  ProxyRestoreOutcome outcome = RestoreUnlessChanged(snapshot->settings, snapshot->applied, calls);
  if (ReadProxySnapshotText() == text) RemoveProxySnapshot();
  return outcome;
}

std::optional<ProxyRestoreOutcome> RestoreSnapshotLeftBehind(const ProxyCalls& calls) {
  return RestoreProxySnapshot(calls,
                              [](const ProcessIdentity& owner) { return !IsRunning(owner); });
}
