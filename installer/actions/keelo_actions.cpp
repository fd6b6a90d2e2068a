// The custom actions that installer/keelo.wxs calls by these names. Each does what it can and
// reports success: an uninstall that failed over a value it could not delete would leave the
// user no way to remove Keelo at all.

#include <windows.h>
// After windows.h, which they need.
#include <msi.h>
#include <msiquery.h>

#include <optional>
#include <string>

#include "common/text_conversion.h"
#include "installer/actions/run_value.h"
#include "installer/actions/running_keelo.h"
#include "proxy/durable_proxy_snapshot.h"
#include "proxy/proxy_calls.h"
#include "proxy/proxy_log_lines.h"

namespace {

// The property that carries the Run value across the removal of the older version; the package
// names it in the condition of RestoreStartAtSignIn.
constexpr wchar_t kRememberedRunValue[] = L"KeeloStartAtSignIn";

// How long the running hosts get to end before their files are replaced or removed regardless.
constexpr DWORD kQuitTimeoutMs = 10000;
// A guard ends within moments of its host's snapshot going; this only bounds a guard whose
// host would not quit.
constexpr DWORD kGuardTimeoutMs = 5000;

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
  wchar_t none[1] = L"";
  DWORD length = 0;
  if (MsiGetPropertyW(install, name, none, &length) != ERROR_MORE_DATA) return std::wstring();
  std::wstring value(length, L'\0');
  // The capacity counts the terminating NUL, which the string keeps beyond its size.
  DWORD capacity = length + 1;
  if (MsiGetPropertyW(install, name, value.data(), &capacity) != ERROR_SUCCESS) {
    return std::wstring();
  }
  value.resize(capacity);
  return value;
}

// A line in the installation's log.
void Log(MSIHANDLE install, const std::wstring& text) {
  const MSIHANDLE record = MsiCreateRecord(0);
  if (record == 0) return;
  MsiRecordSetStringW(record, 0, text.c_str());
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
  MsiCloseHandle(record);
}

}  // namespace

// Before the files are checked for use: a running host holds its executable and libraries, which
// could then be neither replaced nor removed.
extern "C" UINT WINAPI QuitRunningKeelo(MSIHANDLE install) {
  for (const DWORD process_id :
       QuitKeeloRunningFrom(Property(install, L"INSTALLDIR"), kQuitTimeoutMs)) {
    Log(install,
        L"Keelo: asked the running host (process " + std::to_wstring(process_id) + L") to quit");
  }
  return ERROR_SUCCESS;
}

// After the running hosts have quit, each putting its own proxy snapshot back, and before the
// files go: a snapshot still on disk was left by a host that died with its guard, and once
// Keelo is gone nothing would put the user's proxy back. Then the guards, which end once their
// snapshot is gone, are given a moment to let go of their executable.
extern "C" UINT WINAPI RestoreProxyLeftBehind(MSIHANDLE install) {
  if (const std::optional<ProxyRestoreOutcome> restored =
          RestoreSnapshotLeftBehind(ProxyCalls::Real())) {
    Log(install,
        L"Keelo: " + Utf8ToWide(ProxyRestoreLine(ProxyRestoreSource::kUninstall, *restored)));
  }
  WaitForProxyGuardsIn(Property(install, L"INSTALLDIR"), kGuardTimeoutMs);
  return ERROR_SUCCESS;
}

// Before the version being replaced is removed, which may take the Run value along (see
// RestoreStartAtSignIn). Read here rather than by a registry search of the package, because
// Wine's search cuts a string that begins with a quote short at the closing one.
extern "C" UINT WINAPI RememberStartAtSignIn(MSIHANDLE install) {
  if (const std::optional<std::wstring> data = ReadRunValue()) {
    MsiSetPropertyW(install, kRememberedRunValue, data->c_str());
  }
  return ERROR_SUCCESS;
}

// After the version being replaced is removed. Windows Installer tells that removal it is part
// of an upgrade, and the Run value stays; Wine's does not, so the value is put back as it was.
extern "C" UINT WINAPI RestoreStartAtSignIn(MSIHANDLE install) {
  const std::wstring data = Property(install, kRememberedRunValue);
  if (!data.empty() && !RestoreRunValue(data)) {
    Log(install, L"Keelo: could not restore the Run value");
  }
  return ERROR_SUCCESS;
}

// Once an uninstall has succeeded, and not when an upgrade removes the older version, as far as
// the installer tells (see RestoreStartAtSignIn).
extern "C" UINT WINAPI ForgetStartAtSignIn(MSIHANDLE install) {
  if (!RemoveStartAtSignIn()) Log(install, L"Keelo: could not remove the Run value");
  return ERROR_SUCCESS;
}
