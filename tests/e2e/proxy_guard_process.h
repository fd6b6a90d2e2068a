#ifndef TESTS_E2E_PROXY_GUARD_PROCESS_H_
#define TESTS_E2E_PROXY_GUARD_PROCESS_H_

#include <windows.h>

#include "common/scoped_handles.h"

namespace keelo::testing {

// The proxy guard that the host |host_process_id| started, once it runs, opened to be waited on
// and ended; null after |timeout_ms|.
ScopedHandle WaitForProxyGuardOf(DWORD host_process_id, DWORD timeout_ms);

}  // namespace keelo::testing

#endif  // TESTS_E2E_PROXY_GUARD_PROCESS_H_
