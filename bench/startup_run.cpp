#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_host.h"
#include "bench/host_runs.h"
#include "common/shared_names.h"
#include "tests/e2e/host_control.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"

namespace keelo::bench {
namespace {

constexpr int kWarmUps = 3;
constexpr double kVisibleTimeoutMs = 20000;
constexpr DWORD kExitTimeoutMs = 10000;
constexpr wchar_t kMinimalClass[] = L"KeeloFixtureWindow";
constexpr wchar_t kMinimalTitle[] = L"Keelo bench minimal window";

struct Program {
  const wchar_t* name;
  std::wstring executable;
  std::wstring arguments;
  const wchar_t* window_class;
  const wchar_t* window_title;
  bool is_host;
};

// One start: the time from just before the program is started to the first poll that finds the
// program's window visible, and the time between each two polls, since a busy machine may leave
// the harness polling less often than it asks to.
struct Start {
  double ms = 0;
  std::vector<double> poll_gaps_ms;
};

double Now(const LARGE_INTEGER& frequency) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

HWND WindowOf(DWORD process_id, const Program& program) {
  HWND candidate = nullptr;
  while ((candidate = FindWindowExW(nullptr, candidate, program.window_class,
                                    program.window_title)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(candidate, &owner);
    if (owner == process_id) return candidate;
  }
  return nullptr;
}

// Ends the program the way its user would and waits for its process; false when it did not end
// (it is terminated with its ChildProcess).
bool End(const Program& program, keelo::testing::ChildProcess& process, HWND window) {
  if (program.is_host) {
    keelo::testing::AskHostToQuit(window);
  } else {
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  return process.WaitForExit(kExitTimeoutMs).has_value();
}

std::optional<Start> TimeStart(const Program& program, const LARGE_INTEGER& frequency) {
  keelo::testing::LaunchOptions options;
  options.terminate_timeout_ms = kExitTimeoutMs;
  const double begin = Now(frequency);
  const std::unique_ptr<keelo::testing::ChildProcess> process =
      keelo::testing::ChildProcess::Start(program.executable, program.arguments, options);
  if (process == nullptr) {
    std::fprintf(stderr, "cannot start %ls (error %lu)\n", program.executable.c_str(),
                 GetLastError());
    return std::nullopt;
  }
  Start start;
  HWND window = nullptr;
  double last_poll = begin;
  for (;;) {
    // Once the window exists only its visibility is asked for, which is much cheaper under Wine
    // than going through every top-level window's class and title again.
    if (window == nullptr) window = WindowOf(process->id(), program);
    const bool visible = window != nullptr && IsWindowVisible(window);
    const double now = Now(frequency);
    start.poll_gaps_ms.push_back(now - last_poll);
    last_poll = now;
    if (visible) {
      start.ms = now - begin;
      break;
    }
    if (now - begin > kVisibleTimeoutMs || process->WaitForExit(0).has_value()) {
      std::fprintf(stderr, "%ls showed no window\n", program.name);
      return std::nullopt;
    }
    Sleep(1);
  }
  // The host is single-instance: the next start must not find this one still running.
  if (!End(program, *process, window)) {
    std::fprintf(stderr, "%ls did not end when asked to\n", program.name);
    return std::nullopt;
  }
  return start;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double MedianStart(const std::vector<Start>& starts) {
  std::vector<double> ms;
  ms.reserve(starts.size());
  for (const Start& start : starts) ms.push_back(start.ms);
  return Median(std::move(ms));
}

void Report(const Program& program, const std::vector<Start>& starts) {
  const auto [fastest, slowest] = std::minmax_element(
      starts.begin(), starts.end(), [](const Start& a, const Start& b) { return a.ms < b.ms; });
  std::vector<double> gaps;
  for (const Start& start : starts) {
    gaps.insert(gaps.end(), start.poll_gaps_ms.begin(), start.poll_gaps_ms.end());
  }
  const double longest_gap = *std::max_element(gaps.begin(), gaps.end());
  std::printf(
      "%-32ls median %7.1f ms   min %7.1f ms   max %7.1f ms   (polls %.2f ms apart, at "
      "most %.1f ms)\n",
      program.name, MedianStart(starts), fastest->ms, slowest->ms, Median(gaps), longest_gap);
}

}  // namespace

int RunStartup(int runs) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const Program host{L"keelo_app.exe (bench bundle)",
                     BenchHostExecutable(),
                     L"",
                     kWindowClassName,
                     L"Keelo",
                     true};
  const Program minimal{L"minimal window (fixture_plain)",
                        keelo::testing::FixtureExecutable(L"fixture_plain.exe"),
                        std::wstring(L"\"") + kMinimalTitle + L"\"",
                        kMinimalClass,
                        kMinimalTitle,
                        false};
  // Warm-ups, not counted: the Wine server, the X connection and the page cache.
  for (int i = 0; i < kWarmUps; ++i) {
    if (!TimeStart(host, frequency) || !TimeStart(minimal, frequency)) return 1;
  }
  std::vector<Start> host_starts;
  std::vector<Start> minimal_starts;
  // In turn, so that a machine that gets busier or quieter meanwhile weighs on both.
  for (int i = 0; i < runs; ++i) {
    const std::optional<Start> host_start = TimeStart(host, frequency);
    const std::optional<Start> minimal_start = TimeStart(minimal, frequency);
    if (!host_start || !minimal_start) return 1;
    host_starts.push_back(*host_start);
    minimal_starts.push_back(*minimal_start);
  }
  std::printf("start to visible window: %d runs of each in turn, after %d warm-ups\n", runs,
              kWarmUps);
  Report(host, host_starts);
  Report(minimal, minimal_starts);
  std::printf("ratio of medians %.2f\n", MedianStart(host_starts) / MedianStart(minimal_starts));
  return 0;
}

}  // namespace keelo::bench
