#ifndef BRIDGE_SYSTEM_CALLS_H_
#define BRIDGE_SYSTEM_CALLS_H_

#include <functional>
#include <string>

// What the desktop methods do that a test must not do for real, or cannot arrange under Wine:
// one entry per facility operation, never one per system call, so that a test's fake is a
// lambda keeping its record in the test's own locals. Decisions stay outside, in pure
// functions on values, and everything else runs for real under test.
struct SystemCalls {
  // Asks the shell to open |path| as a double click would; true when the shell accepted. A test
  // must not start programs on the machine it runs on.
  std::function<bool(const std::wstring& path)> launch_app;

  // The system's own operations, which the bridge starts with.
  static SystemCalls Real();
};

#endif  // BRIDGE_SYSTEM_CALLS_H_
