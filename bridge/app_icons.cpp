#include "bridge/app_icons.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <wincodec.h>

#include <optional>
#include <string>

#include "bridge/app_identity.h"
#include "common/scoped_handles.h"
#include "common/text_conversion.h"

namespace {

// The first icon of an executable's resources at |size|, or none.
ScopedIcon ExtractExecutableIcon(const std::wstring& path, int size) {
  if (!IsExecutableName(ToLower(path))) return ScopedIcon();
  ScopedIcon icon;
  // The count it returns says nothing the handle does not: only whether one was made matters.
  PrivateExtractIconsW(path.c_str(), 0, size, size, icon.put(), nullptr, 1, 0);
  return icon;
}

// The icon the shell shows for the file, at the shell's own size.
ScopedIcon ShellIcon(const std::wstring& path) {
  SHFILEINFOW info = {};
  if (SHGetFileInfoW(path.c_str(), 0, &info, sizeof(info), SHGFI_ICON) == 0) return ScopedIcon();
  return ScopedIcon(info.hIcon);
}

// The whole content of |stream|, copied once into a buffer of exactly its size.
std::vector<uint8_t> ReadWholeStream(IStream* stream) {
  ULARGE_INTEGER size = {};
  if (FAILED(IStream_Size(stream, &size)) || FAILED(IStream_Reset(stream))) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
  if (FAILED(IStream_Read(stream, bytes.data(), static_cast<ULONG>(bytes.size())))) return {};
  return bytes;
}

}  // namespace

bool IsUsableIconSize(int size) { return size >= kMinIconSize && size <= kMaxIconSize; }

std::vector<uint8_t> ExtractIconPng(const std::wstring& path, int size) {
  if (!IsUsableIconSize(size)) return {};
  ScopedIcon icon = ExtractExecutableIcon(path, size);
  // An executable without icon resources still has the shell's icon.
  if (!icon) icon = ShellIcon(path);
  if (!icon) return {};
  return EncodeIconAsPng(icon.get(), size);
}

std::vector<uint8_t> EncodeIconAsPng(HICON icon, int size) {
  if (!IsUsableIconSize(size)) return {};
  const UINT edge = static_cast<UINT>(size);
  // Declared in the order of creation, so that they are released in reverse: the frame, the
  // encoder, the stream, the scaler, the bitmap, the factory. A factory per icon, as nothing is
  // kept between requests.
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, factory.put_void()))) {
    return {};
  }
  ComPtr<IWICBitmap> bitmap;
  if (FAILED(factory->CreateBitmapFromHICON(icon, bitmap.put()))) return {};
  // Fant keeps small icons legible when they are scaled up, and large ones smooth when scaled
  // down; the icon's own aspect ratio is not kept, the picture is always square.
  ComPtr<IWICBitmapScaler> scaler;
  if (FAILED(factory->CreateBitmapScaler(scaler.put())) ||
      FAILED(scaler->Initialize(bitmap.get(), edge, edge, WICBitmapInterpolationModeFant))) {
    return {};
  }
  const ComPtr<IStream> stream(SHCreateMemStream(nullptr, 0));
  if (!stream) return {};
  ComPtr<IWICBitmapEncoder> encoder;
  // No cache: the encoder writes straight into the memory stream.
  if (FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put())) ||
      FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache))) {
    return {};
  }
  ComPtr<IWICBitmapFrameEncode> frame;
  if (FAILED(encoder->CreateNewFrame(frame.put(), nullptr)) || FAILED(frame->Initialize(nullptr))) {
    return {};
  }
  // Neither result is examined: the encoder picks the nearest format it supports, and the
  // size is the scaler's anyway; WriteSource fails if what it gets cannot be written.
  frame->SetSize(edge, edge);
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
  frame->SetPixelFormat(&format);
  if (FAILED(frame->WriteSource(scaler.get(), nullptr)) || FAILED(frame->Commit()) ||
      FAILED(encoder->Commit())) {
    return {};
  }
  return ReadWholeStream(stream.get());
}

flutter::EncodableMap ExtractIconPngs(const flutter::EncodableMap& items, int size,
                                      const std::atomic<bool>& stop) {
  flutter::EncodableMap images;
  for (const auto& [key, path] : items) {
    if (stop) break;
    const std::string* text = path.GetIf<std::string>();
    if (text == nullptr) continue;
    std::vector<uint8_t> png = ExtractIconPng(Utf8ToWide(*text), size);
    if (png.empty()) continue;
    // Keys of any kind go back as they came, so the UI finds its own items.
    images.insert_or_assign(key, flutter::EncodableValue(std::move(png)));
  }
  return images;
}
