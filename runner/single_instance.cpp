#include "runner/single_instance.h"

bool AnotherInstanceHoldsTheLock(HANDLE created, DWORD last_error) {
  if (last_error == ERROR_ALREADY_EXISTS) return true;
  // With a handle, an access-denied error is a leftover of some earlier call, not the lock's.
  return created == nullptr && last_error == ERROR_ACCESS_DENIED;
}
