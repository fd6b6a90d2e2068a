// What the host costs where the user would feel it, measured under Wine with the development
// kit's engine and the bench application, each against a floor measured in the same run:
//
//   host_bench --only roundtrip [--calls N]   getIdleSeconds round trips against the engine's own
//   host_bench --only startup [--runs N]      start to visible window against a minimal program
//                                             and the engine's own window, with the phases
//   host_bench --only idle [--seconds N]      CPU time and UI-thread wake-ups of an idle host
//   host_bench --only footprint [--settle S] [--seconds N] [--hidden 1]
//                                             memory, threads, handles, CPU time and wake-ups
//                                             of an idle host beside a minimal window program
//   host_bench --only scan --method listApps|getIcons [--scans N]
//                                             getIdleSeconds round trips while the host scans,
//                                             against the same without a scan
//
// Not a test (except the short round trip CTest runs, for its checks); see README.md.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/host_runs.h"

int main(int argc, char** argv) {
  std::string only;
  std::string method;
  int calls = 10000;
  // Starts vary much more than calls on a shared machine, so more of them are taken.
  int runs = 25;
  // Each mode's own when not given: a minute for the idle census, ten for the footprint's CPU.
  int seconds = 0;
  int settle = 60;
  bool hidden = false;
  int scans = 20;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--only") == 0) only = argv[i + 1];
    if (std::strcmp(argv[i], "--calls") == 0) calls = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--settle") == 0) settle = std::max(0, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--hidden") == 0) hidden = std::atoi(argv[i + 1]) != 0;
    if (std::strcmp(argv[i], "--method") == 0) method = argv[i + 1];
    if (std::strcmp(argv[i], "--scans") == 0) scans = std::max(1, std::atoi(argv[i + 1]));
  }
  if (only == "roundtrip") return keelo::bench::RunRoundTrip(calls);
  if (only == "startup") return keelo::bench::RunStartup(runs);
  if (only == "idle") return keelo::bench::RunIdle(seconds > 0 ? seconds : 60);
  if (only == "footprint")
    return keelo::bench::RunFootprint(settle, seconds > 0 ? seconds : 600, hidden);
  if (only == "scan" && (method == "listApps" || method == "getIcons")) {
    return keelo::bench::RunScan(method, scans);
  }
  std::fprintf(stderr,
               "usage: host_bench --only roundtrip [--calls N] | startup [--runs N] | "
               "idle [--seconds N] | footprint [--settle S] [--seconds N] [--hidden 1] | "
               "scan --method listApps|getIcons [--scans N]\n");
  return 64;
}
