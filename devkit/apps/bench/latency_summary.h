#ifndef DEVKIT_APPS_BENCH_LATENCY_SUMMARY_H_
#define DEVKIT_APPS_BENCH_LATENCY_SUMMARY_H_

#include <vector>

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

}  // namespace devkit

#endif  // DEVKIT_APPS_BENCH_LATENCY_SUMMARY_H_
