#ifndef TESTS_SUPPORT_HANDLE_COUNT_H_
#define TESTS_SUPPORT_HANDLE_COUNT_H_

#include <windows.h>

#include <cstdint>

namespace keelo::testing {

// The number of kernel handles the process holds. Wine's GetProcessHandleCount succeeds and
// says 0 whatever is open; there every handle value Wine hands out (multiples of 4 from the
// bottom of the process's table) is asked whether it is open.
inline DWORD OpenHandleCount() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;
  constexpr uintptr_t kHighestValue = 0x4000;
  for (uintptr_t value = 4; value <= kHighestValue; value += 4) {
    DWORD flags = 0;
    // Handle values are plain numbers here; the cast cannot be avoided.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

}  // namespace keelo::testing

#endif  // TESTS_SUPPORT_HANDLE_COUNT_H_
