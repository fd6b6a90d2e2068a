#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
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
constexpr wchar_t kEngineClass[] = L"KeeloBenchEngineWindow";
constexpr wchar_t kEngineTitle[] = L"Keelo bench engine window";
// The host writes the ends of its start's phases there once its first frame is shown.
constexpr wchar_t kMarksVariable[] = L"KEELO_STARTUP_MARKS";

struct Program {
  const wchar_t* name;
  std::wstring executable;
  std::wstring arguments;
  const wchar_t* window_class;
  const wchar_t* window_title;
  bool is_host;
  // Writes the ends of its start's phases where kMarksVariable says.
  bool marks_phases;
};

// One start: the time from just before the program is started to the first poll that finds the
// program's window visible, and the time between each two polls, since a busy machine may leave
// the harness polling less often than it asks to.
struct Start {
  double ms = 0;
  std::vector<double> poll_gaps_ms;
  // The host's only: from the program's start to the end of each phase, in the order they
  // ended, the process's creation first.
  std::vector<std::pair<std::string, double>> phases;
  // The window's outer size when it was found visible.
  SIZE window_size = {};
};

double Now(const LARGE_INTEGER& frequency) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// In milliseconds, as the process and the host's marks count the time.
double FileTimeMs(const FILETIME& time) {
  const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<double>(ticks) / 10000.0;
}

double SystemTimeMs() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  return FileTimeMs(now);
}

// The host's marks ("<phase> <microseconds since its creation>" lines), taken out of |file|,
// after the creation of the process |creation_ms| from the program's start.
std::vector<std::pair<std::string, double>> TakeMarks(const std::wstring& file,
                                                      double creation_ms) {
  std::vector<std::pair<std::string, double>> phases{{"process created", creation_ms}};
  {
    std::ifstream in{std::filesystem::path(file)};
    std::string phase;
    double microseconds = 0;
    while (in >> phase >> microseconds) {
      phases.emplace_back(phase, creation_ms + microseconds / 1000.0);
    }
  }
  DeleteFileW(file.c_str());
  return phases;
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

std::optional<Start> TimeStart(const Program& program, const LARGE_INTEGER& frequency,
                               const std::wstring& marks_file) {
  keelo::testing::LaunchOptions options;
  options.terminate_timeout_ms = kExitTimeoutMs;
  const double begin_system = SystemTimeMs();
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
  RECT rect = {};
  GetWindowRect(window, &rect);
  start.window_size = {rect.right - rect.left, rect.bottom - rect.top};
  // The host is single-instance: the next start must not find this one still running.
  if (!End(program, *process, window)) {
    std::fprintf(stderr, "%ls did not end when asked to\n", program.name);
    return std::nullopt;
  }
  if (program.marks_phases) {
    FILETIME created;
    FILETIME exited;
    FILETIME kernel;
    FILETIME user;
    GetProcessTimes(process->handle(), &created, &exited, &kernel, &user);
    start.phases = TakeMarks(marks_file, FileTimeMs(created) - begin_system);
    start.phases.emplace_back("window visible (polled)", start.ms);
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

// Each phase's end and length, as medians over the starts that marked it.
void ReportPhases(const Program& program, const std::vector<Start>& starts) {
  std::vector<std::string> order;
  std::map<std::string, std::vector<double>> ends;
  std::map<std::string, std::vector<double>> lengths;
  for (const Start& start : starts) {
    double previous = 0;
    for (const auto& [phase, end] : start.phases) {
      if (ends.find(phase) == ends.end()) order.push_back(phase);
      ends[phase].push_back(end);
      lengths[phase].push_back(end - previous);
      previous = end;
    }
  }
  std::printf("%ls phases, from the start (medians of %zu starts):\n", program.name, starts.size());
  for (const std::string& phase : order) {
    std::printf("  %-26s ends at %7.2f ms   takes %7.2f ms (at least %6.2f ms)\n", phase.c_str(),
                Median(ends[phase]), Median(lengths[phase]),
                *std::min_element(lengths[phase].begin(), lengths[phase].end()));
  }
}

}  // namespace

int RunStartup(int runs) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const BenchFilePath marks(L"startup-marks");
  SetEnvironmentVariableW(kMarksVariable, marks.path().c_str());
  const Program host{L"keelo_app.exe (bench bundle)",
                     BenchHostExecutable(),
                     L"",
                     kWindowClassName,
                     L"Keelo",
                     true,
                     true};
  const Program minimal{L"minimal window (fixture_plain)",
                        keelo::testing::FixtureExecutable(L"fixture_plain.exe"),
                        std::wstring(L"\"") + kMinimalTitle + L"\"",
                        kMinimalClass,
                        kMinimalTitle,
                        false,
                        false};
  // Warm-ups, not counted: the Wine server, the X connection and the page cache. The host's
  // gives the size of its window, which the engine window takes, since making and drawing a
  // window costs more the larger it is.
  std::optional<Start> host_warm_up;
  for (int i = 0; i < kWarmUps; ++i) {
    host_warm_up = TimeStart(host, frequency, marks.path());
    if (!host_warm_up || !TimeStart(minimal, frequency, marks.path())) return 1;
  }
  const Program engine{L"engine window (engine_window)",
                       BenchEngineWindowExecutable(),
                       std::wstring(L"\"") + kEngineTitle + L"\" " +
                           std::to_wstring(host_warm_up->window_size.cx) + L" " +
                           std::to_wstring(host_warm_up->window_size.cy),
                       kEngineClass,
                       kEngineTitle,
                       false,
                       true};
  for (int i = 0; i < kWarmUps; ++i) {
    if (!TimeStart(engine, frequency, marks.path())) return 1;
  }
  const std::vector<const Program*> programs{&host, &minimal, &engine};
  std::vector<std::vector<Start>> starts(programs.size());
  // In turn, so that a machine that gets busier or quieter meanwhile weighs on all of them.
  for (int i = 0; i < runs; ++i) {
    for (size_t p = 0; p < programs.size(); ++p) {
      std::optional<Start> start = TimeStart(*programs[p], frequency, marks.path());
      if (!start) return 1;
      starts[p].push_back(std::move(*start));
    }
  }
  std::printf(
      "start to visible window: %d runs of each in turn, after %d warm-ups; windows of "
      "%ld x %ld pixels\n",
      runs, kWarmUps, host_warm_up->window_size.cx, host_warm_up->window_size.cy);
  for (size_t p = 0; p < programs.size(); ++p) Report(*programs[p], starts[p]);
  const double host_ms = MedianStart(starts[0]);
  std::printf("host - minimal %.1f ms (ratio %.2f), host - engine window %.1f ms (ratio %.2f)\n",
              host_ms - MedianStart(starts[1]), host_ms / MedianStart(starts[1]),
              host_ms - MedianStart(starts[2]), host_ms / MedianStart(starts[2]));
  for (size_t p = 0; p < programs.size(); ++p) {
    if (programs[p]->marks_phases) ReportPhases(*programs[p], starts[p]);
  }
  return 0;
}

}  // namespace keelo::bench
