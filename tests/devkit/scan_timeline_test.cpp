#include "devkit/apps/bench/scan_timeline.h"

#include <gtest/gtest.h>

#include <vector>

namespace devkit {
namespace {

// A million ticks a second: a tick is a microsecond.
constexpr int64_t kTicksPerSecond = 1000000;

TEST(ScanTimeline, PollsInsideAScanCountAsDuringItAndTheRestAsWithout) {
  const std::vector<CallSpan> scans = {{1000, 2000}, {5000, 6000}};
  const RoundTripsBySpan split =
      SplitPollsByScans({{100, 150}, {1200, 1260}, {3000, 3070}, {5500, 5580}, {7000, 7090}}, scans,
                        0, kTicksPerSecond);
  EXPECT_EQ(split.during_scan_us, (std::vector<double>{60, 80}));
  EXPECT_EQ(split.without_scan_us, (std::vector<double>{50, 70, 90}));
}

TEST(ScanTimeline, APollThatMeetsAScanAtEitherEndCountsAsDuringIt) {
  const std::vector<CallSpan> scans = {{1000, 2000}};
  const RoundTripsBySpan split = SplitPollsByScans(
      {{900, 1000}, {990, 1010}, {1990, 2100}, {2000, 2001}, {2001, 2002}, {999, 999}}, scans, 0,
      kTicksPerSecond);
  EXPECT_EQ(split.during_scan_us, (std::vector<double>{100, 20, 110, 1}));
  EXPECT_EQ(split.without_scan_us, (std::vector<double>{1, 0}));
}

TEST(ScanTimeline, APollSpanningAWholeScanCountsAsDuringIt) {
  const RoundTripsBySpan split =
      SplitPollsByScans({{500, 3000}}, {{1000, 2000}}, 0, kTicksPerSecond);
  EXPECT_EQ(split.during_scan_us, (std::vector<double>{2500}));
  EXPECT_TRUE(split.without_scan_us.empty());
}

TEST(ScanTimeline, PollsSentBeforeTheStartAreLeftOut) {
  const RoundTripsBySpan split = SplitPollsByScans({{100, 5000}, {4000, 4010}, {6000, 6010}},
                                                   {{4500, 5500}}, 4000, kTicksPerSecond);
  EXPECT_TRUE(split.during_scan_us.empty());
  EXPECT_EQ(split.without_scan_us, (std::vector<double>{10, 10}));
}

TEST(ScanTimeline, TicksBecomeMicroseconds) {
  const RoundTripsBySpan split = SplitPollsByScans({{0, 30}}, {}, 0, 10000000);
  EXPECT_EQ(split.without_scan_us, (std::vector<double>{3}));
}

}  // namespace
}  // namespace devkit
