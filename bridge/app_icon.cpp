#include "bridge/app_icon.h"

#include "resources/resource_ids.h"

ScopedIcon LoadAppIcon(int size) {
  return ScopedIcon(static_cast<HICON>(LoadImageW(
      GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, size, size, 0)));
}
