#ifndef DEVKIT_APPS_BENCH_BENCH_OPTIONS_H_
#define DEVKIT_APPS_BENCH_BENCH_OPTIONS_H_

#include <cstddef>
#include <string>
#include <vector>

namespace devkit {

// What the harness asks of the bench application, as entrypoint arguments on the host's command
// line. Without a mode the application starts and does nothing, which is what the start-up
// figure wants.
struct BenchOptions {
  enum class Mode { kNone, kRoundTrip, kIdle, kScan };
  Mode mode = Mode::kNone;
  // --bench-mode=roundtrip|idle|scan
  // --bench-out=<path>: the report; written whole or not at all.
  std::string out;
  // --bench-channel=<app id>/desktop: the host's channel the round trips and the scans call.
  std::string channel;
  // --bench-calls=N: measured round trips of each kind.
  size_t calls = 10000;
  // --bench-control=<name>: the idle mode's window opens at the named event <name>-start and
  // closes at <name>-stop, both made by the harness.
  std::string control;
  // --bench-scan=listApps|getIcons: the scan mode's method.
  std::string scan_method;
  // --bench-scans=N: measured scans.
  size_t scans = 20;
  // --bench-items=<path>: the scan's items, one per line (UTF-8): for "getIcons" the paths whose
  // icons it asks for, for "listApps" the executables every catalogue must hold.
  std::string items;
};

// Unknown arguments are left to the host and the engine; an unknown mode or scan method, or a
// count that is not a positive number, gives |error| and the default.
BenchOptions ParseBenchOptions(const std::vector<std::string>& arguments, std::string* error);

}  // namespace devkit

#endif  // DEVKIT_APPS_BENCH_BENCH_OPTIONS_H_
