#ifndef TESTS_E2E_PROCESS_METRICS_H_
#define TESTS_E2E_PROCESS_METRICS_H_

#include <windows.h>

#include <cstdint>
#include <optional>

namespace keelo::testing {

// What a long-running host must not accumulate, read from outside the host.
struct ProcessMetrics {
  // Kernel handles, thread handles left out: the system's thread pool starts and ends workers
  // as it sees fit, which says nothing about the host.
  DWORD handles = 0;
  DWORD gdi_objects = 0;
  DWORD user_objects = 0;
  // The private memory the process has committed (Windows) or touched (Wine).
  uint64_t private_bytes = 0;
};

// |process| needs query, VM-read and duplicate-handle access; a handle from CreateProcess has
// them. Nothing when the process has ended or the system refuses to say.
std::optional<ProcessMetrics> ReadProcessMetrics(HANDLE process);

// False where the system gives no GDI and USER counts (Wine says 0 for every process), so that
// a check on them can skip and say why.
bool GuiResourceCountsAvailable();

}  // namespace keelo::testing

#endif  // TESTS_E2E_PROCESS_METRICS_H_
