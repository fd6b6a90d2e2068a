#ifndef TESTS_E2E_HOST_CONTROL_H_
#define TESTS_E2E_HOST_CONTROL_H_

#include <windows.h>

#include <string>

namespace keelo::testing {

// Ends a running host the way its user would, from another process: a close request, and when
// the host keeps running in the tray after it, the quit message the host registers. Returns
// once the host has handled both; the process then ends by itself.
void AskHostToQuit(HWND window);

// Opens the host's tray menu as a right click on its icon would. Returns the menu's window once
// it is shown, null when none appeared within five seconds.
HWND OpenTrayMenu(HWND host);

// Chooses the open menu's item |steps| up from its end with the arrow keys, as a user would:
// with nothing highlighted, the first Up goes to the last item. Menus belong to their process
// under Wine, so the caller counts the items the host shows rather than reading the menu.
void ChooseTrayMenuItemFromEnd(HWND menu_window, int steps);

// Closes the open menu without choosing anything.
void CloseTrayMenu(HWND menu_window);

}  // namespace keelo::testing

#endif  // TESTS_E2E_HOST_CONTROL_H_
