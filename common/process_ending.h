#ifndef COMMON_PROCESS_ENDING_H_
#define COMMON_PROCESS_ENDING_H_

#include <atomic>

// Whether the process is dying: a crash or an uncaught exception is being reported, and the
// process ends once the report is written. What runs meanwhile on other threads (the UI thread
// dispatching a late "setProxy", the proxy guard's watch) must then change nothing that the
// proxy guard is putting back. Set once, never cleared; safe from any thread and from an
// exception filter.
inline std::atomic<bool>& ProcessEndingFlag() {
  static std::atomic<bool> ending{false};
  return ending;
}

inline void MarkProcessEnding() { ProcessEndingFlag().store(true); }

inline bool ProcessIsEnding() { return ProcessEndingFlag().load(); }

#endif  // COMMON_PROCESS_ENDING_H_
