#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_host.h"
#include "bench/host_runs.h"
#include "bench/linux_process.h"
#include "bench/thread_times.h"
#include "common/scoped_handles.h"
#include "common/text_conversion.h"
#include "tests/e2e/process_metrics.h"
#include "tests/support/child_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/tray_icon_probe.h"

namespace keelo::bench {
namespace {

constexpr wchar_t kGuardExecutable[] = L"keelo_proxy_guard.exe";
// Wine shows a new process in /proc under its command line within moments of its start.
constexpr int kFindAttempts = 50;
constexpr DWORD kFindPauseMs = 100;
constexpr double kAnonymousAllowanceKib = 4 * 1024;
constexpr size_t kLargestDifferences = 12;
constexpr wchar_t kEngineWindowClass[] = L"KeeloBenchEngineWindow";
constexpr DWORD kEngineExitTimeoutMs = 10000;

// The programs of a run, in the table's order: the host, the second floor (a window running the
// engine and the UI application, and nothing else) and the minimal window.
enum Program { kHost, kEngineWindow, kMinimal, kPrograms };
constexpr const char* kProgramNames[kPrograms] = {"the host", "the engine window",
                                                  "the minimal window"};

// One program watched from outside: by Windows, and by Linux through its Wine process.
struct Watched {
  HANDLE process = nullptr;
  DWORD id = 0;
  HWND window = nullptr;
  int linux_pid = 0;
};

// What both sides say of a program at one moment.
struct Figures {
  LinuxProcessSample linux;
  keelo::testing::ProcessMetrics windows;
  DWORD windows_threads = 0;
  double threads_cpu_ms = 0;
};

using Moment = std::array<Figures, kPrograms>;

DWORD WindowsThreadCount(DWORD process_id) {
  const ScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  DWORD count = 0;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = snapshot && Thread32First(snapshot.get(), &entry); more;
       more = Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID == process_id) ++count;
  }
  return count;
}

// The proxy guards running now; the host starts one only while it holds a proxy snapshot.
std::vector<DWORD> GuardProcesses() {
  std::vector<DWORD> guards;
  const ScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = snapshot && Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (CompareStringOrdinal(entry.szExeFile, -1, kGuardExecutable, -1, TRUE) == CSTR_EQUAL) {
      guards.push_back(entry.th32ProcessID);
    }
  }
  return guards;
}

int FindWatchedProcess(const std::wstring& argument) {
  for (int attempt = 0; attempt < kFindAttempts; ++attempt) {
    const int pid = FindLinuxProcess(WideToUtf8(argument));
    if (pid != 0) return pid;
    Sleep(kFindPauseMs);
  }
  std::fprintf(stderr, "no single Wine process has the argument %ls\n", argument.c_str());
  return 0;
}

std::optional<Figures> Measure(const Watched& watched, const char* name) {
  Figures figures;
  const std::optional<LinuxProcessSample> linux = SampleLinuxProcess(watched.linux_pid);
  const std::optional<keelo::testing::ProcessMetrics> windows =
      keelo::testing::ReadProcessMetrics(watched.process);
  figures.threads_cpu_ms = ThreadsCpuMilliseconds(watched.id);
  if (!linux || !windows || figures.threads_cpu_ms < 0) {
    std::fprintf(stderr, "cannot read %s's figures\n", name);
    return std::nullopt;
  }
  figures.linux = *linux;
  figures.windows = *windows;
  figures.windows_threads = WindowsThreadCount(watched.id);
  return figures;
}

// All programs at one moment; none when any could not be read.
std::optional<Moment> MeasureAll(const std::array<Watched, kPrograms>& watched) {
  Moment moment;
  for (int program = 0; program < kPrograms; ++program) {
    const std::optional<Figures> figures = Measure(watched[program], kProgramNames[program]);
    if (!figures) return std::nullopt;
    moment[program] = *figures;
  }
  return moment;
}

double Mib(uint64_t kib) { return static_cast<double>(kib) / 1024.0; }

// A figure of each program, then the host's beyond each floor.
void PrintRow(const char* what, const std::array<double, kPrograms>& values, int decimals,
              const char* unit) {
  std::printf("  %-52s", what);
  for (const double value : values) std::printf(" %11.*f", decimals, value);
  std::printf(" %11.*f %11.*f %s\n", decimals, values[kHost] - values[kEngineWindow], decimals,
              values[kHost] - values[kMinimal], unit);
}

// The run's figures side by side: memory and counts at the window's end, CPU time and switches
// over it.
void PrintFigures(const Moment& start, const Moment& end) {
  std::printf("  %-52s %11s %11s %11s %11s %11s\n", "", "host", "engine win.", "minimal",
              "host-engine", "host-minimal");
  const auto at_end = [&](const auto& read) {
    std::array<double, kPrograms> values;
    for (int program = 0; program < kPrograms; ++program) values[program] = read(end[program]);
    return values;
  };
  const auto over = [&](uint64_t LinuxProcessSample::*field) {
    std::array<double, kPrograms> values;
    for (int program = 0; program < kPrograms; ++program) {
      values[program] =
          static_cast<double>(end[program].linux.*field - start[program].linux.*field);
    }
    return values;
  };
  const auto memory = [&](const char* what, uint64_t LinuxProcessSample::*field) {
    PrintRow(what, at_end([&](const Figures& f) { return Mib(f.linux.*field); }), 3, "MiB");
  };
  memory("RssAnon (anonymous resident: heaps, stacks, copies)", &LinuxProcessSample::rss_anon_kib);
  PrintRow("Private_Clean + Private_Dirty (unshared files too)",
           at_end([](const Figures& f) { return Mib(f.linux.private_kib()); }), 3, "MiB");
  memory("Private_Dirty", &LinuxProcessSample::private_dirty_kib);
  memory("RssFile", &LinuxProcessSample::rss_file_kib);
  memory("VmRSS", &LinuxProcessSample::rss_kib);
  PrintRow("private pages as Wine reports them (PagefileUsage)",
           at_end([](const Figures& f) { return Mib(f.windows.private_bytes / 1024); }), 3, "MiB");
  PrintRow("threads (Linux, Wine's own included)",
           at_end([](const Figures& f) { return static_cast<double>(f.linux.threads); }), 0, "");
  PrintRow("threads (Windows)",
           at_end([](const Figures& f) { return static_cast<double>(f.windows_threads); }), 0, "");
  PrintRow("handles (Windows, thread handles left out)",
           at_end([](const Figures& f) { return static_cast<double>(f.windows.handles); }), 0, "");
  std::array<double, kPrograms> cpu_ms = over(&LinuxProcessSample::cpu_ns);
  for (double& value : cpu_ms) value /= 1e6;
  PrintRow("CPU over the window (schedstat, live threads)", cpu_ms, 3, "ms");
  std::array<double, kPrograms> tick_ms = over(&LinuxProcessSample::cpu_ticks);
  for (double& value : tick_ms) value *= 10;
  PrintRow("CPU over the window (stat, 10 ms ticks)", tick_ms, 0, "ms");
  std::array<double, kPrograms> thread_ms;
  for (int program = 0; program < kPrograms; ++program) {
    thread_ms[program] = end[program].threads_cpu_ms - start[program].threads_cpu_ms;
  }
  PrintRow("CPU over the window (GetThreadTimes, 10 ms ticks)", thread_ms, 0, "ms");
  PrintRow("wake-ups: voluntary switches over the window",
           over(&LinuxProcessSample::voluntary_switches), 0, "");
  PrintRow("involuntary switches over the window", over(&LinuxProcessSample::involuntary_switches),
           0, "");
}

// The mappings that hold most of the difference in Private_Dirty, largest first.
void PrintLargestDifferences(const char* floor, const std::map<std::string, uint64_t>& host,
                             const std::map<std::string, uint64_t>& other) {
  std::vector<std::pair<long long, std::string>> differences;
  for (const auto& [mapping, kib] : host) {
    const auto found = other.find(mapping);
    const long long difference = static_cast<long long>(kib) -
                                 static_cast<long long>(found != other.end() ? found->second : 0);
    if (difference != 0) differences.emplace_back(difference, mapping);
  }
  std::sort(differences.begin(), differences.end(), std::greater<>());
  std::printf("  Private_Dirty the host has beyond %s, largest first (KiB):\n", floor);
  for (size_t i = 0; i < differences.size() && i < kLargestDifferences; ++i) {
    std::printf("    %7lld  %s\n", differences[i].first, differences[i].second.c_str());
  }
}

// The engine window of |title| that process |process_id| made; null when it made none within
// five seconds.
HWND FindEngineWindow(DWORD process_id, const std::wstring& title) {
  for (int waited = 0; waited < 5000; waited += 10) {
    HWND candidate = nullptr;
    while ((candidate = FindWindowExW(nullptr, candidate, kEngineWindowClass, title.c_str())) !=
           nullptr) {
      DWORD owner = 0;
      GetWindowThreadProcessId(candidate, &owner);
      if (owner == process_id && IsWindowVisible(candidate)) return candidate;
    }
    Sleep(10);
  }
  return nullptr;
}

}  // namespace

int RunFootprint(int settle_seconds, int seconds, bool hidden) {
  const std::wstring tag = std::to_wstring(GetCurrentProcessId());
  const std::wstring host_marker = L"--footprint-tag=" + tag;
  const std::wstring engine_title = L"Keelo footprint engine " + tag;
  const std::wstring minimal_title = L"Keelo footprint minimal " + tag;
  std::optional<RunningHost> host =
      StartBenchHost(hidden ? L"--minimized " + host_marker : host_marker);
  if (!host) return 1;
  RECT host_rect = {};
  GetWindowRect(host->window, &host_rect);
  const long width = host_rect.right - host_rect.left;
  const long height = host_rect.bottom - host_rect.top;
  // The same UI application (doing nothing) in a window of the host's size.
  const std::unique_ptr<keelo::testing::ChildProcess> engine_window =
      keelo::testing::ChildProcess::Start(BenchEngineWindowExecutable(),
                                          keelo::testing::QuotedArgument(engine_title) + L" " +
                                              std::to_wstring(width) + L" " +
                                              std::to_wstring(height));
  const std::unique_ptr<keelo::testing::FixtureProcess> minimal =
      keelo::testing::FixtureProcess::Start(keelo::testing::FixtureExecutable(L"fixture_plain.exe"),
                                            minimal_title);
  HWND engine_hwnd =
      engine_window != nullptr ? FindEngineWindow(engine_window->id(), engine_title) : nullptr;
  if (engine_hwnd == nullptr || minimal == nullptr) {
    std::fprintf(stderr, "a floor program did not start or showed no window\n");
    QuitHost(*host);
    return 1;
  }
  // Under Wine a shown window's pixels lie in memory the process shares with the X server
  // (RssShmem), four bytes a pixel: the minimal window takes the host's size so that this weighs
  // on all alike, or all hide.
  if (hidden) {
    ShowWindow(engine_hwnd, SW_HIDE);
    ShowWindow(minimal->window(), SW_HIDE);
  } else {
    SetWindowPos(minimal->window(), nullptr, 0, 0, width, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  std::array<Watched, kPrograms> watched;
  watched[kHost] = {host->process->handle(), host->process->id(), host->window,
                    FindWatchedProcess(host_marker)};
  watched[kEngineWindow] = {engine_window->handle(), engine_window->id(), engine_hwnd,
                            FindWatchedProcess(engine_title)};
  watched[kMinimal] = {minimal->handle(), minimal->id(), minimal->window(),
                       FindWatchedProcess(minimal_title)};
  const bool found = std::all_of(watched.begin(), watched.end(),
                                 [](const Watched& program) { return program.linux_pid != 0; });

  Sleep(static_cast<DWORD>(settle_seconds) * 1000);
  // The shell is asked, not the host: the icon's presence costs the host no wake-up.
  const bool tray_before = keelo::testing::TrayIconShown(host->window);
  const std::vector<DWORD> guards_before = GuardProcesses();
  const std::optional<Moment> start = found ? MeasureAll(watched) : std::nullopt;
  Sleep(static_cast<DWORD>(seconds) * 1000);
  const std::optional<Moment> end = found ? MeasureAll(watched) : std::nullopt;
  std::array<std::map<std::string, uint64_t>, kPrograms> dirty;
  std::array<bool, kPrograms> visible = {};
  std::array<RECT, kPrograms> rects = {};
  for (int program = 0; program < kPrograms; ++program) {
    if (found) dirty[program] = PrivateDirtyByMapping(watched[program].linux_pid);
    visible[program] = IsWindowVisible(watched[program].window) != FALSE;
    GetWindowRect(watched[program].window, &rects[program]);
  }
  const std::vector<DWORD> guards_after = GuardProcesses();
  const bool tray_after = keelo::testing::TrayIconShown(host->window);
  const std::optional<DWORD> exit_code = QuitHost(*host);
  PostMessageW(engine_hwnd, WM_CLOSE, 0, 0);
  const std::optional<DWORD> engine_exit = engine_window->WaitForExit(kEngineExitTimeoutMs);

  if (!start || !end) return 1;
  std::printf("idle footprint: all started together, %d s to settle, then a window of %d s\n",
              settle_seconds, seconds);
  for (int program = 0; program < kPrograms; ++program) {
    std::printf("%s: window %s (%ld x %ld)\n", kProgramNames[program],
                visible[program] ? "shown" : "hidden", rects[program].right - rects[program].left,
                rects[program].bottom - rects[program].top);
  }
  std::printf("the host's tray icon: %s before the window, %s after\n",
              tray_before ? "present" : "MISSING", tray_after ? "present" : "MISSING");
  std::printf(
      "proxy guards running: %zu before the window, %zu after (the host starts one only "
      "while it holds a proxy snapshot)\n",
      guards_before.size(), guards_after.size());
  PrintFigures(*start, *end);
  PrintLargestDifferences("the engine window", dirty[kHost], dirty[kEngineWindow]);
  PrintLargestDifferences("the minimal window", dirty[kHost], dirty[kMinimal]);
  const Figures& host_start = (*start)[kHost];
  const Figures& host_end = (*end)[kHost];
  const double anon_over_kib = static_cast<double>(host_end.linux.rss_anon_kib) -
                               static_cast<double>((*end)[kMinimal].linux.rss_anon_kib);
  const uint64_t host_wakeups =
      host_end.linux.voluntary_switches - host_start.linux.voluntary_switches;
  const double host_cpu_ms =
      static_cast<double>(host_end.linux.cpu_ns - host_start.linux.cpu_ns) / 1e6;
  std::printf(
      "targets: RssAnon at most 4 MiB above the minimal window's %s; 0 wake-ups %s; 0 ms "
      "CPU %s (%.3f ms)\n",
      anon_over_kib <= kAnonymousAllowanceKib ? "met" : "MISSED",
      host_wakeups == 0 ? "met" : "MISSED", host_cpu_ms == 0 ? "met" : "MISSED", host_cpu_ms);
  // A reading that always says 0 would meet the targets: each start-up must show in it.
  for (int program = 0; program < kPrograms; ++program) {
    if ((*start)[program].linux.cpu_ns == 0 || (*start)[program].linux.voluntary_switches == 0) {
      std::fprintf(stderr, "%s's start-up shows no CPU time or switch: the reading is wrong\n",
                   kProgramNames[program]);
      return 1;
    }
  }
  if (!guards_before.empty() || !guards_after.empty()) {
    std::fprintf(stderr, "a proxy guard ran; its figures are not in the table\n");
    return 1;
  }
  // Every window as asked all through the run, or the comparison is of something else.
  const bool as_asked =
      std::all_of(visible.begin(), visible.end(), [hidden](bool shown) { return shown != hidden; });
  if (!as_asked) {
    std::fprintf(stderr, "a window was not %s all through\n", hidden ? "hidden" : "shown");
  }
  if (engine_exit != 0u) std::fprintf(stderr, "the engine window did not end with 0\n");
  return as_asked && tray_before && tray_after && exit_code == 0u && engine_exit == 0u ? 0 : 1;
}

}  // namespace keelo::bench
