#include "tests/e2e/process_metrics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "common/scoped_handles.h"
#include "tests/support/fixtures.h"

namespace keelo::testing {
namespace {

constexpr int kEvents = 25;
constexpr SIZE_T kCommittedBytes = 16 << 20;

ProcessMetrics MetricsOf(HANDLE process) {
  std::optional<ProcessMetrics> metrics = ReadProcessMetrics(process);
  EXPECT_TRUE(metrics.has_value());
  return metrics.value_or(ProcessMetrics{});
}

TEST(ProcessMetricsTest, SeesHandlesOpenedAndClosed) {
  const DWORD before = MetricsOf(GetCurrentProcess()).handles;
  {
    std::vector<ScopedHandle> events;
    events.reserve(kEvents);
    for (int i = 0; i < kEvents; ++i)
      events.emplace_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_EQ(MetricsOf(GetCurrentProcess()).handles, before + kEvents);
  }
  EXPECT_EQ(MetricsOf(GetCurrentProcess()).handles, before);
}

TEST(ProcessMetricsTest, SeesPrivateMemoryCommittedAndReleased) {
  const uint64_t before = MetricsOf(GetCurrentProcess()).private_bytes;
  void* block = VirtualAlloc(nullptr, kCommittedBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(block, nullptr);
  // Wine counts the pages once they are touched.
  memset(block, 1, kCommittedBytes);
  const uint64_t committed = MetricsOf(GetCurrentProcess()).private_bytes;
  VirtualFree(block, 0, MEM_RELEASE);
  const uint64_t released = MetricsOf(GetCurrentProcess()).private_bytes;
  EXPECT_GE(committed, before + kCommittedBytes);
  EXPECT_LT(released, committed - kCommittedBytes / 2);
}

TEST(ProcessMetricsTest, ReadsAnotherProcessAndNothingOnceItEnded) {
  std::unique_ptr<FixtureProcess> fixture =
      FixtureProcess::Start(FixtureExecutable(L"fixture_plain.exe"), L"Metrics fixture");
  ASSERT_NE(fixture, nullptr);
  std::optional<ProcessMetrics> running = ReadProcessMetrics(fixture->handle());
  ASSERT_TRUE(running.has_value());
  EXPECT_GT(running->handles, 0u);
  EXPECT_GT(running->private_bytes, 0u);
  fixture->Terminate();
  EXPECT_FALSE(ReadProcessMetrics(fixture->handle()).has_value());
}

}  // namespace
}  // namespace keelo::testing
