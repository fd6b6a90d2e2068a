#include "runner/single_instance.h"

#include <gtest/gtest.h>

namespace {

TEST(SingleInstanceTest, AnExistingOrUnopenableLockMeansAnotherHostRuns) {
  const HANDLE handle = reinterpret_cast<HANDLE>(0x40);
  struct Case {
    HANDLE created;
    DWORD last_error;
    bool another;
  };
  const Case cases[] = {
      {handle, ERROR_SUCCESS, false},
      {handle, ERROR_ALREADY_EXISTS, true},
      // Held by an elevated host, the lock cannot be opened at all.
      {nullptr, ERROR_ACCESS_DENIED, true},
      // A leftover error beside a lock that was made is not the lock's.
      {handle, ERROR_ACCESS_DENIED, false},
      // Any other failure runs the host unprotected rather than not at all.
      {nullptr, ERROR_INVALID_HANDLE, false},
      {nullptr, ERROR_SUCCESS, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AnotherInstanceHoldsTheLock(c.created, c.last_error), c.another)
        << "handle " << c.created << ", error " << c.last_error;
  }
}

}  // namespace
