#ifndef DEVKIT_APPS_BENCH_SCAN_TIMELINE_H_
#define DEVKIT_APPS_BENCH_SCAN_TIMELINE_H_

#include <cstdint>
#include <vector>

namespace devkit {

// A call as the bench application saw it, in performance-counter ticks: from just before it was
// sent to the start of its reply function.
struct CallSpan {
  int64_t sent = 0;
  int64_t replied = 0;
};

// Round trips in microseconds, by whether a scan was in flight while they were.
struct RoundTripsBySpan {
  std::vector<double> during_scan_us;
  std::vector<double> without_scan_us;
};

// Sorts |polls| sent at or after |from| (those before are the warm-up's): a poll whose span
// meets any of |scans|, even at one end, counts as during a scan, since any part of it might have
// waited for one; all others as without.
RoundTripsBySpan SplitPollsByScans(const std::vector<CallSpan>& polls,
                                   const std::vector<CallSpan>& scans, int64_t from,
                                   int64_t ticks_per_second);

}  // namespace devkit

#endif  // DEVKIT_APPS_BENCH_SCAN_TIMELINE_H_
