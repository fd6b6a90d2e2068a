#ifndef RUNNER_SINGLE_INSTANCE_H_
#define RUNNER_SINGLE_INSTANCE_H_

#include <windows.h>

// Whether another host holds the session's lock, from what creating it gave: |created| and the
// last error right after. An existing lock is named as such; one held by an elevated host cannot
// even be opened from a normal start, which then gets no handle and access denied. Any other
// failure leaves the host to run unprotected rather than not at all.
bool AnotherInstanceHoldsTheLock(HANDLE created, DWORD last_error);

#endif  // RUNNER_SINGLE_INSTANCE_H_
