#include "tests/e2e/process_metrics.h"

#include <psapi.h>

#include "common/scoped_handles.h"

namespace keelo::testing {
namespace {

// Handle values are small multiples of four; a host holds a few hundred at most, so every value
// up to this one covers it many times over.
constexpr uintptr_t kHighestHandleValue = 0x8000;

// Wine's GetProcessHandleCount succeeds and says 0, so each handle value is tried instead: a
// value that can be duplicated out of the process is open in it.
std::optional<DWORD> CountOpenHandles(HANDLE process) {
  DWORD exit_code = 0;
  if (!GetExitCodeProcess(process, &exit_code) || exit_code != STILL_ACTIVE) return std::nullopt;
  DWORD count = 0;
  for (uintptr_t value = 4; value <= kHighestHandleValue; value += 4) {
    // Handle values are plain numbers here; the cast cannot be avoided.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    HANDLE remote = reinterpret_cast<HANDLE>(value);
    ScopedHandle copy;
    if (DuplicateHandle(process, remote, GetCurrentProcess(), copy.put(), 0, FALSE,
                        DUPLICATE_SAME_ACCESS) &&
        GetThreadId(copy.get()) == 0) {
      ++count;
    }
  }
  return count;
}

}  // namespace

std::optional<ProcessMetrics> ReadProcessMetrics(HANDLE process) {
  std::optional<DWORD> handles = CountOpenHandles(process);
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof(memory);
  if (!handles ||
      !K32GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                               sizeof(memory))) {
    return std::nullopt;
  }
  ProcessMetrics metrics;
  metrics.handles = *handles;
  metrics.gdi_objects = GetGuiResources(process, GR_GDIOBJECTS);
  metrics.user_objects = GetGuiResources(process, GR_USEROBJECTS);
  // Windows gives the commit charge in both fields; Wine leaves PrivateUsage at 0 and gives the
  // process's resident private pages in PagefileUsage, which grows the same way with a leak.
  metrics.private_bytes = memory.PagefileUsage;
  return metrics;
}

bool GuiResourceCountsAvailable() {
  // A system that keeps the counts sees a new brush in them.
  const DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(RGB(1, 2, 3)));
  return brush && GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS) > before;
}

}  // namespace keelo::testing
