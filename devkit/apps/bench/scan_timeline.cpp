#include "devkit/apps/bench/scan_timeline.h"

#include <algorithm>

namespace devkit {

RoundTripsBySpan SplitPollsByScans(const std::vector<CallSpan>& polls,
                                   const std::vector<CallSpan>& scans, int64_t from,
                                   int64_t ticks_per_second) {
  RoundTripsBySpan split;
  for (const CallSpan& poll : polls) {
    if (poll.sent < from) continue;
    const double us =
        static_cast<double>(poll.replied - poll.sent) * 1e6 / static_cast<double>(ticks_per_second);
    const bool during = std::any_of(scans.begin(), scans.end(), [&](const CallSpan& scan) {
      return poll.sent <= scan.replied && scan.sent <= poll.replied;
    });
    (during ? split.during_scan_us : split.without_scan_us).push_back(us);
  }
  return split;
}

}  // namespace devkit
