#include "tests/installer/version_resource.h"

#include <windows.h>

#include <vector>

namespace keelo::testing {

ExecutableVersion ReadExecutableVersion(const std::wstring& executable) {
  ExecutableVersion version;
  const DWORD size = GetFileVersionInfoSizeW(executable.c_str(), nullptr);
  std::vector<BYTE> data(size);
  if (size == 0 || !GetFileVersionInfoW(executable.c_str(), 0, size, data.data())) return version;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
    version.fields = std::to_wstring(HIWORD(fixed->dwProductVersionMS)) + L"." +
                     std::to_wstring(LOWORD(fixed->dwProductVersionMS)) + L"." +
                     std::to_wstring(HIWORD(fixed->dwProductVersionLS)) + L"." +
                     std::to_wstring(LOWORD(fixed->dwProductVersionLS));
  }
  wchar_t* text = nullptr;
  if (VerQueryValueW(data.data(), L"\\StringFileInfo\\040904E4\\ProductVersion",
                     reinterpret_cast<void**>(&text), &length)) {
    version.text = text;
  }
  return version;
}

}  // namespace keelo::testing
