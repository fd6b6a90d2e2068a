#ifndef BENCH_HOST_RUNS_H_
#define BENCH_HOST_RUNS_H_

#include <string>

namespace keelo::bench {

// Each prints its figures and returns the process's exit code: 0 when the run was complete and
// every check held, 1 otherwise.

// |calls| measured round trips of each kind.
int RunRoundTrip(int calls);
// |runs| measured starts of each program, after warm-ups.
int RunStartup(int runs);
// A window of |seconds| with the host idle.
int RunIdle(int seconds);
// The host and a minimal window program idle side by side, both shown at the host's size or both
// |hidden|: |settle_seconds| to settle, then their memory, threads and handles, and their CPU
// time and wake-ups over |seconds|.
int RunFootprint(int settle_seconds, int seconds, bool hidden);
// |scans| measured calls of |method| ("listApps" or "getIcons") with polls beside them.
int RunScan(const std::string& method, int scans);

}  // namespace keelo::bench

#endif  // BENCH_HOST_RUNS_H_
