#include "devkit/apps/bench/latency_summary.h"

#include <gtest/gtest.h>

#include <vector>

#include "devkit/apps/bench/bench_results.h"

namespace devkit {
namespace {

TEST(LatencySummary, NoSamplesGiveZeros) {
  const LatencySummary summary = SummarizeLatencies({});
  EXPECT_EQ(summary.median_us, 0);
  EXPECT_EQ(summary.p99_us, 0);
  EXPECT_EQ(summary.min_us, 0);
  EXPECT_EQ(summary.max_us, 0);
}

TEST(LatencySummary, MedianOfAnOddCountIsTheMiddleSample) {
  const LatencySummary summary = SummarizeLatencies({9, 1, 5});
  EXPECT_EQ(summary.median_us, 5);
  EXPECT_EQ(summary.min_us, 1);
  EXPECT_EQ(summary.max_us, 9);
}

TEST(LatencySummary, MedianOfAnEvenCountIsBetweenTheMiddleTwo) {
  EXPECT_EQ(SummarizeLatencies({4, 1, 3, 2}).median_us, 2.5);
}

TEST(LatencySummary, NinetyNinthPercentileIsTheNearestRank) {
  // 1..200: rank ceil(0.99 * 200) = 198.
  std::vector<double> two_hundred;
  for (int i = 200; i >= 1; --i) two_hundred.push_back(i);
  EXPECT_EQ(SummarizeLatencies(two_hundred).p99_us, 198);
  // 1..150: rank ceil(148.5) = 149, not the rounded-down 148.
  std::vector<double> hundred_fifty;
  for (int i = 1; i <= 150; ++i) hundred_fifty.push_back(i);
  EXPECT_EQ(SummarizeLatencies(hundred_fifty).p99_us, 149);
  // With fewer than a hundred samples the slowest is the 99th percentile.
  EXPECT_EQ(SummarizeLatencies({3, 7, 5}).p99_us, 7);
}

TEST(LatencySummary, AddsItsFiguresUnderThePrefixWithTwoDecimals) {
  BenchResults results;
  AddLatencySummary("during", {2.5, 1, 10.126}, &results);
  ASSERT_NE(results.Find("during_median_us"), nullptr);
  EXPECT_EQ(*results.Find("during_median_us"), "2.50");
  EXPECT_EQ(*results.Find("during_p99_us"), "10.13");
  EXPECT_EQ(*results.Find("during_min_us"), "1.00");
  EXPECT_EQ(*results.Find("during_max_us"), "10.13");
}

}  // namespace
}  // namespace devkit
