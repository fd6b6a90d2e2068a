#include "tests/e2e/soak_samples.h"

#include <gtest/gtest.h>

#include <vector>

namespace keelo::testing {
namespace {

constexpr uint64_t kMiB = uint64_t{1024} * 1024;
constexpr SoakAllowances kAllowances{8, kMiB};

// Eleven samples, one before the run and one per tenth of 1000 calls, each made by |figures|.
template <typename Figures>
std::vector<SoakSample> Samples(Figures figures) {
  std::vector<SoakSample> samples;
  for (size_t tenth = 0; tenth <= 10; ++tenth) {
    SoakSample sample;
    sample.calls = tenth * 100;
    sample.metrics = figures(tenth);
    samples.push_back(sample);
  }
  return samples;
}

ProcessMetrics Steady(size_t) { return ProcessMetrics{200, 30, 20, 40 * kMiB}; }

TEST(SoakSamplesTest, SteadyFiguresAndAWarmUpBeforeTheBaselineAreNoFault) {
  EXPECT_TRUE(SampleFaults(Samples(Steady), kAllowances, true).empty());
  // Everything loaded during the first tenth is left out: the baseline is the second sample.
  auto warming = [](size_t tenth) {
    ProcessMetrics m = Steady(tenth);
    if (tenth == 0) m = ProcessMetrics{120, 10, 5, 20 * kMiB};
    return m;
  };
  EXPECT_TRUE(SampleFaults(Samples(warming), kAllowances, true).empty());
}

TEST(SoakSamplesTest, HandlesPastTheAllowanceAreALeak) {
  auto within = [](size_t tenth) {
    ProcessMetrics m = Steady(tenth);
    m.handles += tenth % 2 == 0 ? 8 : 0;
    return m;
  };
  EXPECT_TRUE(SampleFaults(Samples(within), kAllowances, true).empty());
  auto leaking = [](size_t tenth) {
    ProcessMetrics m = Steady(tenth);
    m.handles += static_cast<DWORD>(tenth * 2);
    return m;
  };
  const std::vector<std::string> faults = SampleFaults(Samples(leaking), kAllowances, true);
  ASSERT_FALSE(faults.empty());
  EXPECT_EQ(faults.front(), "handles rose from 202 to 212 after 600 calls");
}

TEST(SoakSamplesTest, PrivateBytesPastTheAllowanceOrOnARisingLineAreALeak) {
  auto jump = [](size_t tenth) {
    ProcessMetrics m = Steady(tenth);
    if (tenth == 9) m.private_bytes += 2 * kMiB;
    return m;
  };
  const std::vector<std::string> jumped = SampleFaults(Samples(jump), kAllowances, true);
  ASSERT_FALSE(jumped.empty());
  EXPECT_EQ(jumped.front(), "private bytes rose from 41943040 to 44040192 after 900 calls");
  // 80 KiB a tenth stays under the allowance at every sample, but climbs 720 KiB in all.
  auto creeping = [](size_t tenth) {
    ProcessMetrics m = Steady(tenth);
    m.private_bytes += tenth * 80 * 1024;
    return m;
  };
  const std::vector<std::string> faults = SampleFaults(Samples(creeping), kAllowances, true);
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults.front().rfind("private bytes follow a rising line", 0), 0u) << faults.front();
  // Up and down by the same steps is no trend.
  auto wobbling = [](size_t tenth) {
    ProcessMetrics m = Steady(tenth);
    m.private_bytes += tenth % 2 == 0 ? 0 : 600 * 1024;
    return m;
  };
  EXPECT_TRUE(SampleFaults(Samples(wobbling), kAllowances, true).empty());
}

TEST(SoakSamplesTest, GdiAndUserObjectsMustStayWhereTheSystemCountsThem) {
  auto one_more = [](size_t tenth) {
    ProcessMetrics m = Steady(tenth);
    if (tenth == 10) {
      ++m.gdi_objects;
      ++m.user_objects;
    }
    return m;
  };
  EXPECT_EQ(SampleFaults(Samples(one_more), kAllowances, true),
            (std::vector<std::string>{"GDI objects went from 30 to 31 after 1000 calls",
                                      "USER objects went from 20 to 21 after 1000 calls"}));
  EXPECT_TRUE(SampleFaults(Samples(one_more), kAllowances, false).empty());
}

TEST(SoakSamplesTest, TooFewSamplesCannotPass) {
  std::vector<SoakSample> samples = Samples(Steady);
  samples.resize(2);
  EXPECT_EQ(SampleFaults(samples, kAllowances, true).size(), 1u);
}

}  // namespace
}  // namespace keelo::testing
