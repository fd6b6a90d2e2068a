#include "runner/win32_window.h"

#include <dwmapi.h>

#include "common/dpi.h"
#include "common/scoped_handles.h"
#include "common/shared_names.h"
#include "engine_api/flutter_windows.h"
#include "resources/resource_ids.h"

namespace {

// Live Win32Window objects: the class stays registered while any exists.
int g_live_window_count = 0;

// Registers the window class on first use. Never freed, so that a window destroyed during
// static destruction still finds it.
class WindowClassRegistrar {
 public:
  static WindowClassRegistrar* GetInstance() {
    static WindowClassRegistrar* instance = new WindowClassRegistrar();
    return instance;
  }

  const wchar_t* GetWindowClass(WNDPROC window_proc) {
    if (!registered_) {
      WNDCLASSW window_class = {};
      window_class.style = CS_HREDRAW | CS_VREDRAW;
      window_class.lpfnWndProc = window_proc;
      window_class.hInstance = GetModuleHandleW(nullptr);
      window_class.hIcon = LoadIconW(window_class.hInstance, MAKEINTRESOURCEW(IDI_APP_ICON));
      window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      window_class.lpszClassName = kWindowClassName;
      // A failed registration shows as a failed CreateWindowExW.
      RegisterClassW(&window_class);
      registered_ = true;
    }
    return kWindowClassName;
  }

  void UnregisterWindowClass() {
    UnregisterClassW(kWindowClassName, nullptr);
    registered_ = false;
  }

 private:
  WindowClassRegistrar() = default;

  bool registered_ = false;
};

int Scale(int logical, double scale) { return static_cast<int>(logical * scale); }

}  // namespace

Win32Window::Win32Window() : set_window_attribute_(&DwmSetWindowAttribute) {
  ++g_live_window_count;
}

Win32Window::~Win32Window() {
  --g_live_window_count;
  DestroyNativeWindow();
}

bool Win32Window::Open(const std::wstring& title, const Point& origin, const Size& size) {
  DestroyNativeWindow();

  const wchar_t* window_class = WindowClassRegistrar::GetInstance()->GetWindowClass(WindowProc);

  HMONITOR monitor = MonitorFromPoint({origin.x, origin.y}, MONITOR_DEFAULTTONEAREST);
  double scale = ScaleForDpi(FlutterDesktopGetDpiForMonitor(monitor));

  HWND window =
      CreateWindowExW(0, window_class, title.c_str(), WS_OVERLAPPEDWINDOW, Scale(origin.x, scale),
                      Scale(origin.y, scale), Scale(size.width, scale), Scale(size.height, scale),
                      nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (window == nullptr) return false;

  ApplySystemTheme(window, set_window_attribute_);
  return OnWindowCreated();
}

void Win32Window::FollowSystemTheme(HWND hwnd) {
  ApplySystemTheme(hwnd, set_window_attribute_);
  // Windows 10 keeps drawing the caption in the old mode until its frame is recalculated.
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Win32Window::ShowNormal() { return ShowWindow(window_handle_, SW_SHOWNORMAL); }

void Win32Window::DestroyNativeWindow() {
  // From the destructor this is the base's, deliberately: a derived window has released its own
  // part in its own destructor, before this one.
  OnWindowDestroyed();  // NOLINT(clang-analyzer-optin.cplusplus.VirtualCall)
  if (window_handle_ != nullptr) {
    DestroyWindow(window_handle_);
    window_handle_ = nullptr;
  }
  if (g_live_window_count == 0) WindowClassRegistrar::GetInstance()->UnregisterWindowClass();
}

void Win32Window::EmbedContent(HWND content) {
  content_ = content;
  SetParent(content, window_handle_);
  RECT frame = ClientRect();
  MoveWindow(content, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
             TRUE);
  SetFocus(content_);
}

RECT Win32Window::ClientRect() const {
  RECT frame = {};
  GetClientRect(window_handle_, &frame);
  return frame;
}

LRESULT Win32Window::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      // Cleared first, so that DestroyNativeWindow does not destroy the window a second time.
      window_handle_ = nullptr;
      DestroyNativeWindow();
      if (quit_when_destroyed_) PostQuitMessage(0);
      return 0;

    case WM_SIZE: {
      RECT frame = ClientRect();
      if (content_ != nullptr) {
        MoveWindow(content_, frame.left, frame.top, frame.right - frame.left,
                   frame.bottom - frame.top, TRUE);
      }
      return 0;
    }

    case WM_ACTIVATE:
      if (content_ != nullptr) SetFocus(content_);
      return 0;

    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }

    case WM_DWMCOLORIZATIONCOLORCHANGED:
      FollowSystemTheme(hwnd);
      return 0;

    case WM_SETTINGCHANGE:
      // The light/dark switch is announced here; the colour message above may not come with it.
      if (IsAppThemeChange(reinterpret_cast<const wchar_t*>(lparam))) FollowSystemTheme(hwnd);
      break;
  }
  return DefWindowProcW(window_handle_, message, wparam, lparam);
}

bool Win32Window::OnWindowCreated() { return true; }

void Win32Window::OnWindowDestroyed() {}

LRESULT CALLBACK Win32Window::WindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                         LPARAM lparam) noexcept {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    EnableNonClientScaling(hwnd);
    static_cast<Win32Window*>(create->lpCreateParams)->window_handle_ = hwnd;
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (window != nullptr) return window->HandleMessage(hwnd, message, wparam, lparam);
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void EnableNonClientScaling(HWND hwnd) {
  const ScopedLibrary user32(LoadLibraryA("User32.dll"));
  if (!user32) return;
  using EnableNonClientDpiScalingFunction = BOOL(WINAPI*)(HWND);
  auto enable = reinterpret_cast<EnableNonClientDpiScalingFunction>(
      reinterpret_cast<void*>(GetProcAddress(user32.get(), "EnableNonClientDpiScaling")));
  // Wine returns FALSE; the frame then simply keeps its unscaled metrics.
  if (enable != nullptr) enable(hwnd);
}
