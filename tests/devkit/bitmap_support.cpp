#include "tests/devkit/bitmap_support.h"

#include <objbase.h>
#include <shlwapi.h>
#include <wincodec.h>

#include <algorithm>
#include <cmath>

#include "common/scoped_handles.h"
#include "devkit/engine/scene_painter.h"

namespace devkit::testing {

std::vector<uint8_t> SolidPng(int size, uint32_t rgb) {
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICBitmap> bitmap;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, factory.put_void())) ||
      FAILED(factory->CreateBitmap(size, size, GUID_WICPixelFormat32bppBGRA, WICBitmapCacheOnLoad,
                                   bitmap.put()))) {
    return {};
  }
  const WICRect all{0, 0, size, size};
  ComPtr<IWICBitmapLock> lock;
  if (FAILED(bitmap->Lock(&all, WICBitmapLockWrite, lock.put()))) return {};
  UINT length = 0;
  BYTE* data = nullptr;
  if (FAILED(lock->GetDataPointer(&length, &data))) return {};
  for (UINT offset = 0; offset + 4 <= length; offset += 4) {
    const uint32_t pixel = 0xFF000000 | rgb;
    std::copy_n(reinterpret_cast<const BYTE*>(&pixel), 4, data + offset);
  }
  lock.reset();

  ComPtr<IStream> stream(SHCreateMemStream(nullptr, 0));
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
  if (!stream || FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put())) ||
      FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(frame.put(), nullptr)) || FAILED(frame->Initialize(nullptr)) ||
      FAILED(frame->SetSize(size, size)) || FAILED(frame->SetPixelFormat(&format)) ||
      FAILED(frame->WriteSource(bitmap.get(), nullptr)) || FAILED(frame->Commit()) ||
      FAILED(encoder->Commit())) {
    return {};
  }
  ULARGE_INTEGER end{};
  if (FAILED(IStream_Size(stream.get(), &end)) || FAILED(IStream_Reset(stream.get()))) return {};
  std::vector<uint8_t> png(static_cast<size_t>(end.QuadPart));
  if (FAILED(IStream_Read(stream.get(), png.data(), static_cast<ULONG>(png.size())))) return {};
  return png;
}

Pixels::Ink Pixels::InkIn(const KeeloDrawItem& item, double scale, uint32_t background) const {
  const int left = std::max(0, static_cast<int>(std::lround(item.x * scale)));
  const int top = std::max(0, static_cast<int>(std::lround(item.y * scale)));
  const int right = std::min(width, static_cast<int>(std::lround((item.x + item.width) * scale)));
  const int bottom =
      std::min(height, static_cast<int>(std::lround((item.y + item.height) * scale)));
  Ink ink;
  for (int y = top; y < bottom; ++y) {
    int in_row = 0;
    for (int x = left; x < right; ++x) in_row += At(x, y) != background;
    ink.pixels += in_row;
    ink.rows += in_row > 0;
  }
  return ink;
}

Pixels Capture(int width, int height, const std::function<void(HDC)>& paint) {
  void* bits = nullptr;
  const ScopedGdiObject<HBITMAP> bitmap(CreatePixelBitmap(width, height, &bits));
  const ScopedResource<NullIsNoneTraits<HDC, &DeleteDC>> canvas(CreateCompatibleDC(nullptr));
  Pixels pixels;
  if (!bitmap || bits == nullptr || !canvas) return pixels;
  HGDIOBJ previous = SelectObject(canvas.get(), bitmap.get());
  paint(canvas.get());
  GdiFlush();
  pixels.width = width;
  pixels.height = height;
  const auto* source = static_cast<const uint32_t*>(bits);
  pixels.rgb.assign(source, source + static_cast<size_t>(width) * height);
  for (uint32_t& pixel : pixels.rgb) pixel &= 0xFFFFFF;
  SelectObject(canvas.get(), previous);
  return pixels;
}

}  // namespace devkit::testing
