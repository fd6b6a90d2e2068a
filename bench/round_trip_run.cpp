#include <cstdio>
#include <string>

#include "bench/bench_host.h"
#include "bench/host_runs.h"
#include "bridge/app_identifier.h"
#include "common/text_conversion.h"

namespace keelo::bench {
namespace {

// Generous: under Wine on a busy machine a round trip may take a millisecond.
constexpr DWORD kBaseTimeoutMs = 60000;
constexpr DWORD kTimeoutPerCallMs = 5;

// Every planned call made, each with exactly one reply of the right form.
bool Complete(const devkit::BenchResults& results, int calls) {
  bool complete = true;
  if (const std::string* error = results.Find("error")) {
    std::fprintf(stderr, "the bench application failed: %s\n", error->c_str());
    complete = false;
  }
  const long long made = ReportCount(results, "calls_made");
  const long long planned = ReportCount(results, "calls_planned");
  const long long ok = ReportCount(results, "host_ok") + ReportCount(results, "floor_ok");
  const long long not_once = ReportCount(results, "replies_not_once");
  const long long malformed = ReportCount(results, "replies_malformed");
  if (ReportCount(results, "calls") != calls || made != planned || planned <= 2LL * calls ||
      ok != made || not_once != 0 || malformed != 0) {
    std::fprintf(stderr,
                 "incomplete run: %lld of %lld calls made, %lld well answered, %lld replies not "
                 "exactly once, %lld malformed\n",
                 made, planned, ok, not_once, malformed);
    complete = false;
  }
  return complete;
}

}  // namespace

int RunRoundTrip(int calls) {
  const BenchFilePath report(L"roundtrip");
  const std::wstring channel = Utf8ToWide(kDesktopChannel);
  const HostReport run = RunBenchHostForReport(
      L"--bench-mode=roundtrip --bench-calls=" + std::to_wstring(calls) + L" --bench-channel=" +
          channel + L" \"--bench-out=" + report.path() + L"\"",
      report, kBaseTimeoutMs + static_cast<DWORD>(calls) * kTimeoutPerCallMs);
  if (!run.results) return 1;
  const devkit::BenchResults& results = *run.results;
  const bool complete = Complete(results, calls) && run.ended_cleanly;
  const double host_median = ReportFigure(results, "host_median_us");
  const double floor_median = ReportFigure(results, "floor_median_us");
  std::printf("round trips: %d of each kind, in alternating blocks of 100, after 200 warm-ups\n",
              calls);
  std::printf("%-36s median %8.1f us   p99 %8.1f us   min %7.1f us   max %9.1f us\n",
              "getIdleSeconds through the host", host_median, ReportFigure(results, "host_p99_us"),
              ReportFigure(results, "host_min_us"), ReportFigure(results, "host_max_us"));
  std::printf("%-36s median %8.1f us   p99 %8.1f us   min %7.1f us   max %9.1f us\n",
              "floor: no handler, engine answers", floor_median,
              ReportFigure(results, "floor_p99_us"), ReportFigure(results, "floor_min_us"),
              ReportFigure(results, "floor_max_us"));
  if (floor_median > 0) std::printf("ratio of medians %.2f\n", host_median / floor_median);
  return complete ? 0 : 1;
}

}  // namespace keelo::bench
