#include "devkit/apps/bench/bench_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace devkit {
namespace {

TEST(BenchOptions, WithoutArgumentsTheApplicationDoesNothing) {
  std::string error;
  const BenchOptions options = ParseBenchOptions({"--minimized"}, &error);
  EXPECT_TRUE(error.empty());
  EXPECT_EQ(options.mode, BenchOptions::Mode::kNone);
  EXPECT_EQ(options.calls, 10000u);
}

TEST(BenchOptions, ReadsTheRoundTripRun) {
  std::string error;
  const BenchOptions options = ParseBenchOptions(
      {"--bench-mode=roundtrip", "--bench-calls=200", "--bench-channel=com.vantrel.keelo/desktop",
       "--bench-out=C:\\temp\\report with space.txt"},
      &error);
  EXPECT_TRUE(error.empty()) << error;
  EXPECT_EQ(options.mode, BenchOptions::Mode::kRoundTrip);
  EXPECT_EQ(options.calls, 200u);
  EXPECT_EQ(options.channel, "com.vantrel.keelo/desktop");
  EXPECT_EQ(options.out, "C:\\temp\\report with space.txt");
}

TEST(BenchOptions, ReadsTheIdleRun) {
  std::string error;
  const BenchOptions options =
      ParseBenchOptions({"--bench-mode=idle", "--bench-control=Local\\KeeloIdle-7"}, &error);
  EXPECT_TRUE(error.empty()) << error;
  EXPECT_EQ(options.mode, BenchOptions::Mode::kIdle);
  EXPECT_EQ(options.control, "Local\\KeeloIdle-7");
}

TEST(BenchOptions, ReadsTheScanRun) {
  std::string error;
  const BenchOptions options = ParseBenchOptions(
      {"--bench-mode=scan", "--bench-scan=getIcons", "--bench-scans=3",
       "--bench-items=C:\\temp\\items.txt", "--bench-channel=com.vantrel.keelo/desktop"},
      &error);
  EXPECT_TRUE(error.empty()) << error;
  EXPECT_EQ(options.mode, BenchOptions::Mode::kScan);
  EXPECT_EQ(options.scan_method, "getIcons");
  EXPECT_EQ(options.scans, 3u);
  EXPECT_EQ(options.items, "C:\\temp\\items.txt");
  EXPECT_EQ(options.channel, "com.vantrel.keelo/desktop");
}

TEST(BenchOptions, RefusesAScanOfAnotherMethodAndABadScanCount) {
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"--bench-scan=getForeground"}, {"--bench-scan=listapps"}, {"--bench-scans=0"}}) {
    std::string error;
    const BenchOptions options = ParseBenchOptions(arguments, &error);
    EXPECT_FALSE(error.empty()) << arguments.front();
    EXPECT_TRUE(options.scan_method.empty()) << arguments.front();
    EXPECT_EQ(options.scans, 20u) << arguments.front();
  }
}

TEST(BenchOptions, RefusesAnUnknownModeAndABadCount) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"--bench-mode=fast"},
                                             {"--bench-calls=0"},
                                             {"--bench-calls=-5"},
                                             {"--bench-calls=12x"},
                                             {"--bench-calls="}}) {
    std::string error;
    const BenchOptions options = ParseBenchOptions(arguments, &error);
    EXPECT_FALSE(error.empty()) << arguments.front();
    EXPECT_EQ(options.mode, BenchOptions::Mode::kNone) << arguments.front();
    EXPECT_EQ(options.calls, 10000u) << arguments.front();
  }
}

}  // namespace
}  // namespace devkit
