// Started once per Wine session, before any test, with its streams on the session's log.
//
// Under Wine, the first program that needs the desktop window starts Wine's desktop process,
// which inherits that program's standard error and lives for as long as any program uses the
// desktop. When that program is a test, CTest waits for the test's output pipe to close, that
// is for the desktop to end, and the test times out however quickly it passed. This program
// starts the desktop itself and keeps it for the session; the session's end ends it.
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  // A message-only window needs the desktop like any other window, and shows nowhere: no test
  // that looks at the screen's windows finds it.
  const HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr) return 1;
  // The file |argv[1]| tells the session that the desktop is up.
  const HANDLE ready = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(ready);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}
