#include "devkit/apps/bench/latency_summary.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

namespace devkit {
namespace {

std::string Figure(double value) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.2f", value);
  return text;
}

}  // namespace

LatencySummary SummarizeLatencies(std::vector<double> samples_us) {
  LatencySummary summary;
  if (samples_us.empty()) return summary;
  std::sort(samples_us.begin(), samples_us.end());
  const size_t count = samples_us.size();
  const size_t middle = count / 2;
  summary.median_us =
      count % 2 == 1 ? samples_us[middle] : (samples_us[middle - 1] + samples_us[middle]) / 2;
  // ceil(0.99 * count) in integers, as a 1-based rank.
  const size_t rank = (count * 99 + 99) / 100;
  summary.p99_us = samples_us[rank - 1];
  summary.min_us = samples_us.front();
  summary.max_us = samples_us.back();
  return summary;
}

void AddLatencySummary(const std::string& prefix, const std::vector<double>& samples_us,
                       BenchResults* results) {
  const LatencySummary summary = SummarizeLatencies(samples_us);
  results->Add(prefix + "_median_us", Figure(summary.median_us));
  results->Add(prefix + "_p99_us", Figure(summary.p99_us));
  results->Add(prefix + "_min_us", Figure(summary.min_us));
  results->Add(prefix + "_max_us", Figure(summary.max_us));
}

}  // namespace devkit
