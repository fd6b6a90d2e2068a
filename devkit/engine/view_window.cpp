#include "devkit/engine/view_window.h"

#include <algorithm>
#include <utility>

#include "devkit/engine/engine_module.h"

namespace devkit {
namespace {

constexpr wchar_t kViewClass[] = L"KeeloDevkitView";
constexpr wchar_t kHolderClass[] = L"KeeloDevkitViewHolder";
constexpr wchar_t kEngineLine[] = L"Keelo development engine";
constexpr COLORREF kBackground = RGB(0x1F, 0x2A, 0x36);
constexpr COLORREF kText = RGB(0xE8, 0xEC, 0xF0);
constexpr int kMargin = 16;

// A memory device context, which DeleteDC ends (ReleaseDC is for the ones GetDC lends).
using ScopedMemoryDC = ScopedResource<NullIsNoneTraits<HDC, &DeleteDC>>;

HFONT CreateMessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
    return nullptr;
  }
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

}  // namespace

std::unique_ptr<ViewWindow> ViewWindow::Create(int width, int height,
                                               std::function<void()> on_frame) {
  if (!RegisterEngineWindowClass(kViewClass, &ViewWindow::WindowProc) ||
      !RegisterEngineWindowClass(kHolderClass, &DefWindowProcW)) {
    return nullptr;
  }
  std::unique_ptr<ViewWindow> view(new ViewWindow(std::move(on_frame)));
  view->holder_ =
      CreateWindowExW(WS_EX_TOOLWINDOW, kHolderClass, L"", WS_POPUP, 0, 0, std::max(width, 1),
                      std::max(height, 1), nullptr, nullptr, EngineModule(), nullptr);
  if (view->holder_ == nullptr) return nullptr;
  CreateWindowExW(0, kViewClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                  std::max(width, 0), std::max(height, 0), view->holder_, nullptr, EngineModule(),
                  view.get());
  if (view->view_ == nullptr) return nullptr;
  view->font_.reset(CreateMessageFont());
  return view;
}

ViewWindow::~ViewWindow() {
  if (view_ != nullptr) DestroyWindow(view_);
  if (holder_ != nullptr) DestroyWindow(holder_);
}

void ViewWindow::Present() {
  if (view_ == nullptr) return;
  ProduceFrame();
  InvalidateRect(view_, nullptr, FALSE);
}

void ViewWindow::ReloadFont() { font_.reset(CreateMessageFont()); }

void ViewWindow::FollowParent(HWND parent) {
  if (view_ == nullptr || GetParent(view_) != parent) return;
  RECT client;
  RECT current;
  if (!GetClientRect(parent, &client) || !GetClientRect(view_, &current)) return;
  if (client.right != current.right || client.bottom != current.bottom) {
    MoveWindow(view_, 0, 0, client.right, client.bottom, TRUE);
  }
}

SIZE ViewWindow::ClientSize() const {
  RECT client{};
  GetClientRect(view_, &client);
  // A frame needs a pixel even while the host's window has no client area yet.
  return SIZE{std::max<LONG>(client.right, 1), std::max<LONG>(client.bottom, 1)};
}

void ViewWindow::ProduceFrame() {
  const SIZE size = ClientSize();
  HDC screen = GetDC(nullptr);
  if (!frame_ || size.cx != frame_size_.cx || size.cy != frame_size_.cy) {
    frame_.reset(CreateCompatibleBitmap(screen, size.cx, size.cy));
    frame_size_ = frame_ ? size : SIZE{0, 0};
  }
  const ScopedMemoryDC canvas(CreateCompatibleDC(screen));
  ReleaseDC(nullptr, screen);
  if (!frame_ || !canvas) return;
  HGDIOBJ previous_bitmap = SelectObject(canvas.get(), frame_.get());
  RECT area{0, 0, size.cx, size.cy};
  const ScopedGdiObject<HBRUSH> background(CreateSolidBrush(kBackground));
  FillRect(canvas.get(), &area, background.get());

  HGDIOBJ previous_font = SelectObject(
      canvas.get(), font_ ? static_cast<HGDIOBJ>(font_.get()) : GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(canvas.get(), TRANSPARENT);
  SetTextColor(canvas.get(), kText);
  std::wstring text = kEngineLine;
  if (!status_text_.empty()) text += L"\n" + status_text_;
  RECT text_area{kMargin, kMargin, std::max<LONG>(size.cx - kMargin, kMargin),
                 std::max<LONG>(size.cy - kMargin, kMargin)};
  DrawTextW(canvas.get(), text.c_str(), static_cast<int>(text.size()), &text_area,
            DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
  // The context gets its own objects back before it is deleted, as GDI requires.
  SelectObject(canvas.get(), previous_font);
  SelectObject(canvas.get(), previous_bitmap);
  on_frame_();
}

void ViewWindow::Paint() {
  PAINTSTRUCT paint;
  HDC target = BeginPaint(view_, &paint);
  const SIZE size = ClientSize();
  if (!frame_ || size.cx != frame_size_.cx || size.cy != frame_size_.cy) ProduceFrame();
  {
    const ScopedMemoryDC source(CreateCompatibleDC(target));
    if (source && frame_) {
      HGDIOBJ previous = SelectObject(source.get(), frame_.get());
      BitBlt(target, 0, 0, frame_size_.cx, frame_size_.cy, source.get(), 0, 0, SRCCOPY);
      SelectObject(source.get(), previous);
    }
  }
  EndPaint(view_, &paint);
}

LRESULT ViewWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      // The frame covers the whole window; erasing first would only flicker.
      return 1;
    case WM_SIZE:
      InvalidateRect(view_, nullptr, FALSE);
      return 0;
    default:
      return DefWindowProcW(view_, message, wparam, lparam);
  }
}

LRESULT CALLBACK ViewWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* view = static_cast<ViewWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    // Set now: the messages of creation itself already use it.
    view->view_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
    return DefWindowProcW(window, message, wparam, lparam);
  }
  auto* view = reinterpret_cast<ViewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (view == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    // Also reached when the host destroys its window with the view still in it.
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    view->view_ = nullptr;
    return DefWindowProcW(window, message, wparam, lparam);
  }
  return view->HandleMessage(message, wparam, lparam);
}

}  // namespace devkit
