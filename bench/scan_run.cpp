#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_host.h"
#include "bench/desktop_scene.h"
#include "bench/host_runs.h"
#include "bridge/app_identifier.h"
#include "common/text_conversion.h"
#include "tests/support/shell_fixtures.h"

namespace keelo::bench {
namespace {

// During the scans, the polls' median may be at most twice the one without a scan, and no poll
// may wait for as long as a frame at 60 Hz.
constexpr double kMedianRatioTarget = 2.0;
constexpr double kMaxDuringTargetMs = 16.0;
constexpr DWORD kBaseTimeoutMs = 60000;
// A scan and its pause take half a second under Wine on a good day, several times that on a
// busy one.
constexpr DWORD kTimeoutPerScanMs = 10000;

// Every planned call made, each with exactly one reply of the right form, and polls on both
// sides of the comparison.
bool Complete(const devkit::BenchResults& results, int scans) {
  bool complete = true;
  for (const std::string& error : results.FindAll("error")) {
    std::fprintf(stderr, "the bench application failed: %s\n", error.c_str());
    complete = false;
  }
  const long long scans_made = ReportCount(results, "scans_made");
  const long long scans_ok = ReportCount(results, "scans_ok");
  const long long polls_made = ReportCount(results, "polls_made");
  const long long polls_ok = ReportCount(results, "polls_ok");
  const long long not_once = ReportCount(results, "replies_not_once");
  const long long malformed = ReportCount(results, "replies_malformed");
  if (ReportCount(results, "scans") != scans ||
      scans_made != ReportCount(results, "scans_planned") || scans_ok != scans_made ||
      polls_made <= 0 || polls_ok != polls_made || not_once != 0 || malformed != 0) {
    std::fprintf(stderr,
                 "incomplete run: %lld scans made, %lld well answered; %lld polls made, %lld well "
                 "answered; %lld replies not exactly once, %lld malformed\n",
                 scans_made, scans_ok, polls_made, polls_ok, not_once, malformed);
    complete = false;
  }
  if (ReportCount(results, "during_count") <= 0 || ReportCount(results, "without_count") <= 0) {
    std::fprintf(stderr, "no poll fell during a scan, or none without one\n");
    complete = false;
  }
  return complete;
}

void PrintPolls(const char* what, const devkit::BenchResults& results, const std::string& prefix) {
  const auto figure = [&](const char* name) {
    return ReportFigure(results, (prefix + name).c_str());
  };
  std::printf("%-32s %6lld polls   median %8.1f us   p99 %9.1f us   max %9.1f us\n", what,
              ReportCount(results, (prefix + "_count").c_str()), figure("_median_us"),
              figure("_p99_us"), figure("_max_us"));
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

}  // namespace

int RunScan(const std::string& method, int scans) {
  const keelo::testing::ScopedComApartment apartment;
  DesktopScene scene;
  if (!scene.Build()) {
    std::fprintf(stderr, "cannot lay out the shortcuts and windows\n");
    return 1;
  }
  const BenchFilePath items(L"scan-items");
  if (!items.WriteLines(method == "getIcons" ? scene.icon_paths()
                                             : scene.catalogue_executables())) {
    std::fprintf(stderr, "cannot write the scan's items to %ls\n", items.path().c_str());
    return 1;
  }
  const BenchFilePath report(L"scan");
  const HostReport run = RunBenchHostForReport(
      L"--bench-mode=scan --bench-scan=" + Utf8ToWide(method) + L" --bench-scans=" +
          std::to_wstring(scans) + L" --bench-channel=" + Utf8ToWide(kDesktopChannel) +
          L" \"--bench-items=" + items.path() + L"\" \"--bench-out=" + report.path() + L"\"",
      report, kBaseTimeoutMs + static_cast<DWORD>(scans) * kTimeoutPerScanMs);
  if (!run.results) return 1;
  const devkit::BenchResults& results = *run.results;
  const bool complete = Complete(results, scans) && run.ended_cleanly;

  std::printf(
      "\"%s\" %d times from one application thread (after one unmeasured), each followed by a "
      "pause as long; \"getIdleSeconds\" every %lld ms from another thread throughout\n",
      method.c_str(), scans, ReportCount(results, "poll_period_ms"));
  std::printf("%-32s median %8.1f ms   min %8.1f ms   max %8.1f ms\n", (method + " itself").c_str(),
              ReportFigure(results, "scan_median_us") / 1000,
              ReportFigure(results, "scan_min_us") / 1000,
              ReportFigure(results, "scan_max_us") / 1000);
  PrintPolls("getIdleSeconds during a scan", results, "during");
  PrintPolls("getIdleSeconds without a scan", results, "without");
  std::printf("polls went out %.2f ms apart (median), at most %.1f ms\n",
              ReportFigure(results, "poll_gap_median_us") / 1000,
              ReportFigure(results, "poll_gap_max_us") / 1000);
  // Figures of a run whose checks failed are not judged: they may come from a host that
  // answered quickly by answering wrongly.
  if (!complete) {
    std::printf("no verdict: the run was incomplete\n");
    return 1;
  }
  const double ratio =
      ReportFigure(results, "during_median_us") / ReportFigure(results, "without_median_us");
  const double during_max_ms = ReportFigure(results, "during_max_us") / 1000;
  std::printf("median during / without a scan: %.2f   (target: within %.0fx) %s\n", ratio,
              kMedianRatioTarget, Verdict(ratio <= kMedianRatioTarget));
  std::printf("longest poll during a scan: %.2f ms   (target: under %.0f ms) %s\n", during_max_ms,
              kMaxDuringTargetMs, Verdict(during_max_ms < kMaxDuringTargetMs));
  return 0;
}

}  // namespace keelo::bench
