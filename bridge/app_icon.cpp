#include "bridge/app_icon.h"

#include <cwchar>

#include "resources/resource_ids.h"

ScopedIcon LoadAppIcon(int size) {
  return ScopedIcon(static_cast<HICON>(LoadImageW(
      GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, size, size, 0)));
}

bool ChangesIconMetrics(WPARAM action, const wchar_t* area) {
  if (action == SPI_SETICONMETRICS || action == SPI_SETNONCLIENTMETRICS) return true;
  return area != nullptr && std::wcscmp(area, L"WindowMetrics") == 0;
}
