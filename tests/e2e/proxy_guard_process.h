#ifndef TESTS_E2E_PROXY_GUARD_PROCESS_H_
#define TESTS_E2E_PROXY_GUARD_PROCESS_H_

#include <windows.h>

#include <optional>

#include "common/scoped_handles.h"

namespace keelo::testing {

// The proxy guard that watches the host |host_process_id|, once it watches (its mutex exists),
// opened to be waited on and ended; null after |timeout_ms|. A host starts its guard outside its
// own process tree, so the guard is found as the newest guard running, which the tests, taking
// turns, make the only one to watch this host.
ScopedHandle WaitForProxyGuardOf(DWORD host_process_id, DWORD timeout_ms);

// Whether a guard watches the host |host_process_id| now.
bool ProxyGuardWatches(DWORD host_process_id);

// Ends |root| and every process it started, and that those started, as far as they run, as
// Task Manager's "End process tree" and "taskkill /T /F" do: the tree is walked by the parent
// ids the system keeps. Returns how many processes it ended.
int EndProcessTree(DWORD root);

// Suspends every thread of process |process_id|, so that it can do nothing before it is ended,
// as when a power cut takes it; false when a thread could not be suspended.
bool FreezeProcess(DWORD process_id);

// Runs the repair at sign-in as Windows runs a RunOnce value at sign-in: the value is deleted,
// then its command line run. The command's exit code once it has ended within |timeout_ms|;
// nothing when there was no entry, it could not be run, or it is still running.
std::optional<DWORD> RunSignInRepairAsWindowsDoes(DWORD timeout_ms);

}  // namespace keelo::testing

#endif  // TESTS_E2E_PROXY_GUARD_PROCESS_H_
