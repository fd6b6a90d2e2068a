#ifndef TESTS_E2E_HOST_CONTROL_H_
#define TESTS_E2E_HOST_CONTROL_H_

#include <windows.h>

namespace keelo::testing {

// Ends a running host the way its user would, from another process: a close request, and when
// the host keeps running in the tray after it, the quit message the host registers. Returns
// once the host has handled both; the process then ends by itself.
void AskHostToQuit(HWND window);

}  // namespace keelo::testing

#endif  // TESTS_E2E_HOST_CONTROL_H_
