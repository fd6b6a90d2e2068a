#include "tests/bridge/tray_menu_driver.h"

#include "bridge/tray_icon.h"

namespace keelo::testing {

std::vector<TrayMenuItem> TrayMenuShown(HWND window) {
  std::vector<TrayMenuItem> items;
  {
    MenuDriver driver(window, [](MenuDriver& menu) { menu.Press(VK_ESCAPE); });
    // A right click on the icon, as the shell reports it; returns once the menu has closed.
    SendMessageW(window, kTrayCallbackMessage, kTrayIconId, WM_RBUTTONUP);
    EXPECT_TRUE(driver.shown()) << "no menu appeared";
    items = driver.items();
  }
  return items;
}

}  // namespace keelo::testing
