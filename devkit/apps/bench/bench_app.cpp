// The bench UI application (app.so): started by the host like any UI application, it measures
// what the harness (bench/host_bench) asks for through its entrypoint arguments and writes a
// report the harness reads. Without a mode it does nothing at all.

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "devkit/app_api/app_interface.h"
#include "devkit/app_api/app_start.h"
#include "devkit/apps/bench/bench_options.h"
#include "devkit/apps/bench/idle_watch.h"
#include "devkit/apps/bench/polls_during_scans.h"
#include "devkit/apps/bench/round_trips.h"

namespace {

struct BenchApp {
  std::unique_ptr<devkit::RoundTrips> round_trips;
  std::unique_ptr<devkit::IdleWatch> idle_watch;
  std::unique_ptr<devkit::PollsDuringScans> polls_during_scans;
};

// The application's instance or null, with the reason on stderr.
BenchApp* StartBench(const devkit::BenchOptions& options, const KeeloPeerInterface& peer) {
  auto app = std::make_unique<BenchApp>();
  std::string error;
  if (options.mode != devkit::BenchOptions::Mode::kNone && options.out.empty()) {
    error = "no --bench-out=<path> for the report";
  } else if (options.mode == devkit::BenchOptions::Mode::kRoundTrip) {
    if (options.channel.empty()) {
      error = "no --bench-channel=<app id>/desktop to call";
    } else {
      app->round_trips = std::make_unique<devkit::RoundTrips>(peer, options);
    }
  } else if (options.mode == devkit::BenchOptions::Mode::kIdle) {
    app->idle_watch = devkit::IdleWatch::Start(options, &error);
  } else if (options.mode == devkit::BenchOptions::Mode::kScan) {
    if (options.channel.empty() || options.scan_method.empty() || options.items.empty()) {
      error = "the scan needs --bench-channel, --bench-scan=listApps|getIcons and --bench-items";
    } else {
      app->polls_during_scans = devkit::PollsDuringScans::Start(peer, options, &error);
    }
  }
  if (!error.empty()) {
    std::fprintf(stderr, "bench app: %s\n", error.c_str());
    return nullptr;
  }
  return app.release();
}

}  // namespace

extern "C" __declspec(dllexport) void* KeeloAppStart(const KeeloAppStartInfo* info,
                                                     const KeeloPeerInterface* peer) {
  if (!devkit::IsUsableStart(info, peer)) return nullptr;
  const std::vector<std::string> arguments = devkit::StartArguments(*info);
  std::string error;
  const devkit::BenchOptions options = devkit::ParseBenchOptions(arguments, &error);
  if (!error.empty()) {
    std::fprintf(stderr, "bench app: %s\n", error.c_str());
    return nullptr;
  }
  return StartBench(options, *peer);
}

extern "C" __declspec(dllexport) void KeeloAppStop(void* app) {
  delete static_cast<BenchApp*>(app);
}
