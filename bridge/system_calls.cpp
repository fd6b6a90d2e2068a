#include "bridge/system_calls.h"

#include <dwmapi.h>

#include <optional>
#include <vector>

#include "common/scoped_handles.h"

namespace {

// APPMODEL_ERROR_NO_PACKAGE; older SDKs do not name it.
constexpr LONG kNoPackage = 15700;

bool LaunchWithShell(const std::wstring& path) {
  const HINSTANCE code =
      ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return ShellExecuteSucceeded(reinterpret_cast<INT_PTR>(code));
}

bool NotifyShellOfIcon(DWORD message, const NOTIFYICONDATAW& data) {
  NOTIFYICONDATAW copy = data;
  return Shell_NotifyIconW(message, &copy) != FALSE;
}

bool ProcessHasPackageIdentity() {
  using GetCurrentPackageFullNameFunction = LONG(WINAPI*)(UINT32*, PWSTR);
  // Looked up at run time: systems before Windows 8 have no packages and no such function.
  auto get_package_name =
      reinterpret_cast<GetCurrentPackageFullNameFunction>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetCurrentPackageFullName")));
  if (get_package_name == nullptr) return false;
  UINT32 length = 0;
  return get_package_name(&length, nullptr) != kNoPackage;
}

bool AllowMessageFromLowerIntegrity(HWND window, UINT message) {
  return ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr) != FALSE;
}

bool IsDotOrDotDot(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

bool ListFolder(const std::wstring& folder, std::vector<FolderEntry>& entries) {
  WIN32_FIND_DATAW found;
  // The basic level leaves out the short 8.3 names, which nothing here reads.
  const ScopedFindHandle search(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                                 FindExSearchNameMatch, nullptr, 0));
  if (!search) return false;
  do {
    if (IsDotOrDotDot(found.cFileName)) continue;
    // The enumeration reports a reparse point's tag in this otherwise reserved field.
    entries.push_back(FolderEntry{found.cFileName, found.dwFileAttributes, found.dwReserved0});
  } while (FindNextFileW(search.get(), &found));
  return GetLastError() == ERROR_NO_MORE_FILES;
}

std::optional<DWORD> ReadCloakedFromCompositor(HWND window) {
  DWORD cloaked = 0;
  if (FAILED(DwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloaked, sizeof(cloaked)))) {
    return std::nullopt;
  }
  return cloaked;
}

}  // namespace

bool ShellExecuteSucceeded(INT_PTR code) { return code > 32; }

SystemCalls SystemCalls::Real() {
  SystemCalls calls;
  calls.launch_app = &LaunchWithShell;
  calls.notify_icon = &NotifyShellOfIcon;
  calls.is_packaged = &ProcessHasPackageIdentity;
  calls.allow_message_from_lower_integrity = &AllowMessageFromLowerIntegrity;
  calls.proxy = ProxyCalls::Real();
  calls.list_folder = &ListFolder;
  calls.read_cloaked = &ReadCloakedFromCompositor;
  return calls;
}
