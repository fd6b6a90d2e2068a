#ifndef TESTS_E2E_HOST_PROCESS_H_
#define TESTS_E2E_HOST_PROCESS_H_

#include <windows.h>

#include <memory>
#include <string>

#include "tests/support/child_process.h"

namespace keelo::testing {

// Starts a host with its standard output and error captured. A host still running when the
// object goes is terminated, so that a failed test leaves nothing behind.
// |arguments| is the command line after the program name, exactly as the host gets it.
// |working_directory| may be empty for the test's own. Null when the process could not be
// started.
std::unique_ptr<ChildProcess> StartHostProcess(const std::wstring& executable,
                                               const std::wstring& arguments,
                                               const std::wstring& working_directory = L"");

// The top-level window of the host's class and title "Keelo" that belongs to process
// |process_id|, once it exists; null after |timeout_ms|.
HWND WaitForHostWindow(DWORD process_id, DWORD timeout_ms);

// Polls |condition| every 10 ms until it holds or |timeout_ms| passes; returns its last value.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeout_ms) return condition();
    Sleep(10);
  }
}

}  // namespace keelo::testing

#endif  // TESTS_E2E_HOST_PROCESS_H_
