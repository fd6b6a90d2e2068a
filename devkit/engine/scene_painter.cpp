#include "devkit/engine/scene_painter.h"

#include <objbase.h>
#include <wincodec.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string_view>

#include "common/text_conversion.h"

namespace devkit {
namespace {

// A memory device context, which DeleteDC ends (ReleaseDC is for the ones GetDC lends).
using ScopedMemoryDC = ScopedResource<NullIsNoneTraits<HDC, &DeleteDC>>;

COLORREF ToColorRef(uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

LONG Scaled(float logical, double scale) { return std::lround(logical * scale); }

RECT DeviceRect(const KeeloDrawItem& item, double scale) {
  return RECT{Scaled(item.x, scale), Scaled(item.y, scale), Scaled(item.x + item.width, scale),
              Scaled(item.y + item.height, scale)};
}

HFONT CreateTextFont(int pixels, bool bold, const std::wstring& face_name) {
  return CreateFontW(-std::max(pixels, 1), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, face_name.c_str());
}

void Fill(HDC canvas, const KeeloDrawItem& item, const RECT& area, double scale) {
  const ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(ToColorRef(item.color)));
  const LONG diameter = Scaled(item.radius * 2, scale);
  if (diameter < 2) {
    FillRect(canvas, &area, brush.get());
    return;
  }
  HGDIOBJ previous_brush = SelectObject(canvas, brush.get());
  HGDIOBJ previous_pen = SelectObject(canvas, GetStockObject(NULL_PEN));
  // Without a pen the shape ends a pixel short on the right and at the bottom.
  RoundRect(canvas, area.left, area.top, area.right + 1, area.bottom + 1, diameter, diameter);
  SelectObject(canvas, previous_pen);
  SelectObject(canvas, previous_brush);
}

void Text(HDC canvas, const KeeloDrawItem& item, const RECT& area, double scale,
          const std::wstring& face_name) {
  if (item.text == nullptr || item.text[0] == '\0') return;
  const std::wstring text = Utf8ToWide(item.text);
  const bool bold = (item.text_flags & KEELO_TEXT_BOLD) != 0;
  int pixels = Scaled(item.text_size, scale);
  ScopedGdiObject<HFONT> font(CreateTextFont(pixels, bold, face_name));
  HGDIOBJ previous = SelectObject(canvas, font.get());
  SIZE extent{};
  const LONG width = area.right - area.left;
  if ((item.text_flags & KEELO_TEXT_FIT) != 0 && width > 0 &&
      GetTextExtentPoint32W(canvas, text.c_str(), static_cast<int>(text.size()), &extent) &&
      extent.cx > width) {
    pixels = static_cast<int>(static_cast<double>(pixels) * width / extent.cx);
    SelectObject(canvas, previous);
    font.reset(CreateTextFont(pixels, bold, face_name));
    previous = SelectObject(canvas, font.get());
  }
  UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
  if ((item.text_flags & KEELO_TEXT_CENTER) != 0) format |= DT_CENTER;
  if ((item.text_flags & KEELO_TEXT_RIGHT) != 0) format |= DT_RIGHT;
  SetBkMode(canvas, TRANSPARENT);
  SetTextColor(canvas, ToColorRef(item.color));
  RECT box = area;
  DrawTextW(canvas, text.c_str(), static_cast<int>(text.size()), &box, format);
  SelectObject(canvas, previous);
}

// |png| as premultiplied 32-bit pixels of |width| x |height|, in a top-down DIB section; null
// when it is no image WIC can read.
HBITMAP DecodePng(const uint8_t* png, size_t size, int width, int height) {
  ComPtr<IWICImagingFactory> factory;
  if (size > MAXDWORD ||
      FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, factory.put_void()))) {
    return nullptr;
  }
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICBitmapScaler> scaler;
  ComPtr<IWICFormatConverter> converter;
  // WIC reads the bytes in place and never writes them.
  if (FAILED(factory->CreateStream(stream.put())) ||
      FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(png), static_cast<DWORD>(size))) ||
      FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                              decoder.put())) ||
      FAILED(decoder->GetFrame(0, frame.put())) ||
      FAILED(factory->CreateBitmapScaler(scaler.put())) ||
      FAILED(scaler->Initialize(frame.get(), static_cast<UINT>(width), static_cast<UINT>(height),
                                WICBitmapInterpolationModeFant)) ||
      FAILED(factory->CreateFormatConverter(converter.put())) ||
      FAILED(converter->Initialize(scaler.get(), GUID_WICPixelFormat32bppPBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeCustom))) {
    return nullptr;
  }
  void* pixels = nullptr;
  ScopedGdiObject<HBITMAP> bitmap(CreatePixelBitmap(width, height, &pixels));
  const UINT stride = static_cast<UINT>(width) * 4;
  if (!bitmap || pixels == nullptr ||
      FAILED(converter->CopyPixels(nullptr, stride, stride * static_cast<UINT>(height),
                                   static_cast<BYTE*>(pixels)))) {
    return nullptr;
  }
  return bitmap.release();
}

}  // namespace

HBITMAP CreatePixelBitmap(int width, int height, void** pixels) {
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof(format.bmiHeader);
  format.bmiHeader.biWidth = width;
  // Negative: the rows run from the top, as WIC and the tests read them.
  format.bmiHeader.biHeight = -height;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  return CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, pixels, nullptr, 0);
}

void ScenePainter::BeginFrame() {
  for (auto& [key, image] : images_) image.drawn = false;
}

void ScenePainter::Draw(HDC canvas, const KeeloDrawItem* items, size_t count, double scale,
                        const std::wstring& face_name) {
  for (size_t index = 0; index < count; ++index) {
    const KeeloDrawItem& item = items[index];
    const RECT area = DeviceRect(item, scale);
    if (area.right <= area.left || area.bottom <= area.top) continue;
    switch (item.kind) {
      case KEELO_DRAW_FILL:
        Fill(canvas, item, area, scale);
        break;
      case KEELO_DRAW_TEXT:
        Text(canvas, item, area, scale, face_name);
        break;
      case KEELO_DRAW_IMAGE:
        DrawImage(canvas, item, area);
        break;
      default:
        break;
    }
  }
}

void ScenePainter::EndFrame() {
  std::erase_if(images_, [](const auto& entry) { return !entry.second.drawn; });
}

void ScenePainter::DrawImage(HDC canvas, const KeeloDrawItem& item, const RECT& area) {
  if (item.image == nullptr || item.image_size == 0) return;
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  const ImageKey key{std::hash<std::string_view>()(std::string_view(
                         reinterpret_cast<const char*>(item.image), item.image_size)),
                     item.image_size, width, height};
  auto found = images_.find(key);
  if (found == images_.end()) {
    DecodedImage decoded;
    decoded.bitmap.reset(DecodePng(item.image, item.image_size, width, height));
    found = images_.emplace(key, std::move(decoded)).first;
  }
  // Kept even when it could not be decoded, so that the same bytes are not tried every frame.
  found->second.drawn = true;
  if (!found->second.bitmap) return;
  const ScopedMemoryDC source(CreateCompatibleDC(canvas));
  if (!source) return;
  HGDIOBJ previous = SelectObject(source.get(), found->second.bitmap.get());
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  AlphaBlend(canvas, area.left, area.top, width, height, source.get(), 0, 0, width, height, blend);
  SelectObject(source.get(), previous);
}

}  // namespace devkit
