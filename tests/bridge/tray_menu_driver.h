#ifndef TESTS_BRIDGE_TRAY_MENU_DRIVER_H_
#define TESTS_BRIDGE_TRAY_MENU_DRIVER_H_

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "bridge/tray_menu.h"

namespace keelo::testing {

// Plays the user at the next tray menu from another thread, with the keyboard, as Wine lets a
// test do: waits for the menu, reads what it shows, then runs |act|. A menu still open at the
// end is closed, so that a failing test cannot hang.
class MenuDriver {
 public:
  MenuDriver(HWND owner, std::function<void(MenuDriver&)> act) : owner_(owner) {
    thread_ = std::thread([this, act = std::move(act)] {
      for (int waited = 0; waited < 5000 && menu_window_ == nullptr; waited += 10) {
        HWND found = FindWindowW(L"#32768", nullptr);
        if (found != nullptr && IsWindowVisible(found)) {
          menu_window_ = found;
        } else {
          Sleep(10);
        }
      }
      if (menu_window_ != nullptr) {
        ReadItems();
        act(*this);
      }
      for (int waited = 0; waited < 3000 && MenuOpen(); waited += 10) Sleep(10);
      if (MenuOpen()) PostMessageW(owner_, WM_CANCELMODE, 0, 0);
    });
  }
  ~MenuDriver() { thread_.join(); }

  MenuDriver(const MenuDriver&) = delete;
  MenuDriver& operator=(const MenuDriver&) = delete;

  // Moves the highlight down until it is on |id|, then presses Return.
  void Choose(UINT id) {
    for (int presses = 0; presses < 20 && Highlighted() != id; ++presses) Press(VK_DOWN);
    if (Highlighted() != id) {
      ADD_FAILURE() << "could not move the highlight to " << id;
      return;
    }
    Press(VK_RETURN);
  }
  void Press(WPARAM key) {
    PostMessageW(menu_window_, WM_KEYDOWN, key, 0);
    Sleep(30);
  }
  bool MenuOpen() const { return menu_window_ != nullptr && IsWindowVisible(menu_window_); }
  void Post(UINT message, WPARAM wparam = 0) { PostMessageW(owner_, message, wparam, 0); }

  bool shown() const { return menu_window_ != nullptr; }
  const std::vector<TrayMenuItem>& items() const { return items_; }

 private:
  HMENU Menu() const {
    return reinterpret_cast<HMENU>(SendMessageW(menu_window_, MN_GETHMENU, 0, 0));
  }

  UINT Highlighted() const {
    HMENU menu = Menu();
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      if (GetMenuState(menu, i, MF_BYPOSITION) & MF_HILITE) return GetMenuItemID(menu, i);
    }
    return 0;
  }

  void ReadItems() {
    HMENU menu = Menu();
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      wchar_t text[256] = {};
      MENUITEMINFOW info = {};
      info.cbSize = sizeof(info);
      info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
      info.dwTypeData = text;
      info.cch = 256;
      GetMenuItemInfoW(menu, i, TRUE, &info);
      const bool separator = (info.fType & MFT_SEPARATOR) != 0;
      UINT flags = separator ? MF_SEPARATOR : MF_STRING;
      // Wine reports separators greyed; only an item's greying is the host's.
      if (!separator && (info.fState & MFS_GRAYED)) flags |= MF_GRAYED;
      items_.push_back({separator ? 0 : info.wID, separator ? L"" : text, flags});
    }
  }

  HWND owner_;
  std::atomic<HWND> menu_window_{nullptr};
  std::vector<TrayMenuItem> items_;
  std::thread thread_;
};

// What the tray menu of |window| shows when the user opens it now, read and dismissed: the
// status line, the session and the quit permission as the user meets them.
std::vector<TrayMenuItem> TrayMenuShown(HWND window);

}  // namespace keelo::testing

#endif  // TESTS_BRIDGE_TRAY_MENU_DRIVER_H_
