#include "bridge/system_calls.h"

#include <dwmapi.h>
#include <shobjidl.h>

#include <memory>
#include <optional>
#include <vector>

#include "common/scoped_handles.h"
#include "engine_api/flutter_windows.h"

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

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM monitors) noexcept {
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  // One that went away while the list was made is left out.
  if (!GetMonitorInfoW(monitor, &info)) return TRUE;
  reinterpret_cast<std::vector<DisplayMonitor>*>(monitors)->push_back(
      DisplayMonitor{info.rcMonitor, info.rcWork, FlutterDesktopGetDpiForMonitor(monitor),
                     (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
  return TRUE;
}

std::vector<DisplayMonitor> ListMonitors() {
  std::vector<DisplayMonitor> monitors;
  EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&monitors));
  return monitors;
}

// The shell's IVirtualDesktopManager for the bridge's life, used on the UI thread only, on which
// it is made. Made once: under Wine, which has none, each attempt keeps two handles and takes
// some milliseconds (REGDB_E_CLASSNOTREG, 0x80040154), and a system without it, or a thread
// without COM, does not get one later. A call that fails lets it go, as a restarted shell leaves
// it disconnected, and the next question makes a new one.
class VirtualDesktopShell {
 public:
  DesktopPlace Locate(HWND window) {
    IVirtualDesktopManager* manager = Manager();
    BOOL on_current = FALSE;
    if (manager == nullptr ||
        Failed(manager->IsWindowOnCurrentVirtualDesktop(window, &on_current))) {
      return DesktopPlace::kUnknown;
    }
    return on_current ? DesktopPlace::kCurrent : DesktopPlace::kOther;
  }

  bool MoveToCurrent(HWND window) {
    IVirtualDesktopManager* manager = Manager();
    if (manager == nullptr) return false;
    // The interface names no current desktop; the window in front is on it. Without one, or
    // with one the shell keeps on every desktop (the taskbar), there is no desktop to name.
    HWND in_front = GetForegroundWindow();
    GUID desktop = GUID_NULL;
    if (in_front == nullptr || Failed(manager->GetWindowDesktopId(in_front, &desktop)) ||
        IsEqualGUID(desktop, GUID_NULL)) {
      return false;
    }
    return !Failed(manager->MoveWindowToDesktop(window, desktop));
  }

 private:
  IVirtualDesktopManager* Manager() {
    if (!manager_ && !missing_) {
      missing_ = FAILED(CoCreateInstance(CLSID_VirtualDesktopManager, nullptr, CLSCTX_ALL,
                                         __uuidof(IVirtualDesktopManager), manager_.put_void()));
      if (missing_) manager_.reset();
    }
    return manager_.get();
  }

  bool Failed(HRESULT result) {
    if (SUCCEEDED(result)) return false;
    manager_.reset();
    return true;
  }

  ComPtr<IVirtualDesktopManager> manager_;
  bool missing_ = false;
};

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
  calls.list_monitors = &ListMonitors;
  const auto desktops = std::make_shared<VirtualDesktopShell>();
  calls.virtual_desktops = {[desktops](HWND window) { return desktops->Locate(window); },
                            [desktops](HWND window) { return desktops->MoveToCurrent(window); }};
  return calls;
}
