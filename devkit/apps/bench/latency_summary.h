#ifndef DEVKIT_APPS_BENCH_LATENCY_SUMMARY_H_
#define DEVKIT_APPS_BENCH_LATENCY_SUMMARY_H_

#include <string>
#include <vector>

#include "devkit/apps/bench/bench_results.h"

namespace devkit {

// The figures a run of round trips is judged by, in microseconds.
struct LatencySummary {
  double median_us = 0;
  // Nearest rank: the smallest sample that at least 99 % of the samples do not exceed.
  double p99_us = 0;
  double min_us = 0;
  double max_us = 0;
};

// All zero for no samples.
LatencySummary SummarizeLatencies(std::vector<double> samples_us);

// Adds the summary of |samples_us| to |results| as "<prefix>_median_us", "<prefix>_p99_us",
// "<prefix>_min_us" and "<prefix>_max_us", each with two decimals.
void AddLatencySummary(const std::string& prefix, const std::vector<double>& samples_us,
                       BenchResults* results);

}  // namespace devkit

#endif  // DEVKIT_APPS_BENCH_LATENCY_SUMMARY_H_
