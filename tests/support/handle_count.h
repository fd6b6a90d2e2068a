#ifndef TESTS_SUPPORT_HANDLE_COUNT_H_
#define TESTS_SUPPORT_HANDLE_COUNT_H_

#include <windows.h>

#include <cstdint>

namespace keelo::testing {

// The kernel handles the process holds, thread handles left out. Each of the first 4096 handle
// values, far more than a test process uses, is asked whether it is open: Wine's
// GetProcessHandleCount succeeds and says 0 whatever is open. Threads are left out because the
// system's thread pool starts workers when it sees fit (under Wine, within some hundred shell and
// imaging calls), and nothing of ours starts threads.
inline DWORD OpenHandleCount() {
  constexpr uintptr_t kHighestValue = 0x4000;
  DWORD count = 0;
  for (uintptr_t value = 4; value <= kHighestValue; value += 4) {
    // Handle values are plain numbers here; the cast cannot be avoided.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    HANDLE handle = reinterpret_cast<HANDLE>(value);
    DWORD flags = 0;
    if (GetHandleInformation(handle, &flags) && GetThreadId(handle) == 0) ++count;
  }
  return count;
}

}  // namespace keelo::testing

#endif  // TESTS_SUPPORT_HANDLE_COUNT_H_
