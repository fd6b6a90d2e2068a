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

std::wstring FaceNameOf(HFONT font) {
  LOGFONTW description{};
  if (font == nullptr || GetObjectW(font, sizeof(description), &description) == 0) {
    return L"Tahoma";
  }
  return description.lfFaceName;
}

// What one frame of a painter is drawn with.
struct PaintedFrame {
  ScenePainter* painter;
  HDC canvas;
  double scale;
  const std::wstring* face_name;
};

void DrawItems(void* frame, const KeeloDrawItem* items, size_t count) {
  const auto* painted = static_cast<const PaintedFrame*>(frame);
  if (items == nullptr) return;
  painted->painter->Draw(painted->canvas, items, count, painted->scale, *painted->face_name);
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
  view->ReloadFont();
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

void ViewWindow::ReloadFont() {
  font_.reset(CreateMessageFont());
  face_name_ = FaceNameOf(font_.get());
}

void ViewWindow::SetStatusText(std::wstring text) {
  status_text_ = std::move(text);
  if (view_ != nullptr) SetWindowTextW(view_, status_text_.c_str());
}

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
  if (painter_) {
    DrawPainted(canvas.get(), size);
  } else {
    DrawStatusText(canvas.get(), size);
  }
  // The context gets its bitmap back before it is deleted, as GDI requires.
  SelectObject(canvas.get(), previous_bitmap);
  on_frame_();
}

void ViewWindow::DrawStatusText(HDC canvas, SIZE size) {
  HGDIOBJ previous_font = SelectObject(
      canvas, font_ ? static_cast<HGDIOBJ>(font_.get()) : GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(canvas, TRANSPARENT);
  SetTextColor(canvas, kText);
  std::wstring text = kEngineLine;
  if (!status_text_.empty()) text += L"\n" + status_text_;
  RECT text_area{kMargin, kMargin, std::max<LONG>(size.cx - kMargin, kMargin),
                 std::max<LONG>(size.cy - kMargin, kMargin)};
  DrawTextW(canvas, text.c_str(), static_cast<int>(text.size()), &text_area,
            DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(canvas, previous_font);
}

void ViewWindow::DrawPainted(HDC canvas, SIZE size) {
  const UINT dpi = GetDpiForWindow(view_);
  const double scale = dpi == 0 ? 1.0 : dpi / static_cast<double>(USER_DEFAULT_SCREEN_DPI);
  PaintedFrame frame{&scene_, canvas, scale, &face_name_};
  scene_.BeginFrame();
  painter_(static_cast<float>(size.cx / scale), static_cast<float>(size.cy / scale), &DrawItems,
           &frame);
  scene_.EndFrame();
}

void ViewWindow::Paint() {
  PAINTSTRUCT paint;
  HDC target = BeginPaint(view_, &paint);
  CopyFrameTo(target);
  EndPaint(view_, &paint);
}

void ViewWindow::CopyFrameTo(HDC target) {
  const SIZE size = ClientSize();
  if (!frame_ || size.cx != frame_size_.cx || size.cy != frame_size_.cy) ProduceFrame();
  const ScopedMemoryDC source(CreateCompatibleDC(target));
  if (!source || !frame_) return;
  HGDIOBJ previous = SelectObject(source.get(), frame_.get());
  BitBlt(target, 0, 0, frame_size_.cx, frame_size_.cy, source.get(), 0, 0, SRCCOPY);
  SelectObject(source.get(), previous);
}

LRESULT ViewWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_PRINTCLIENT:
      // PrintWindow, the shell's previews and tests take the view as it was last presented.
      CopyFrameTo(reinterpret_cast<HDC>(wparam));
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
