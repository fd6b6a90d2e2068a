#include <cstdio>
#include <string>

#include "bench/bench_host.h"
#include "bench/host_runs.h"
#include "common/scoped_handles.h"

namespace keelo::bench {
namespace {

// After the window exists, the host still finishes starting (the tray icon, the first frame);
// the idle window opens once that is over.
constexpr DWORD kSettleMs = 3000;
constexpr DWORD kReportTimeoutMs = 10000;

// The process's user and kernel time in milliseconds; negative when it cannot be read.
double CpuMilliseconds(HANDLE process) {
  FILETIME created;
  FILETIME exited;
  FILETIME kernel;
  FILETIME user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return -1;
  const auto ticks = [](const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  // FILETIME counts 100 ns.
  return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

}  // namespace

int RunIdle(int seconds) {
  const ReportPath report(L"idle");
  const std::wstring control =
      L"Local\\KeeloHostBenchIdle-" + std::to_wstring(GetCurrentProcessId());
  const ScopedHandle start(CreateEventW(nullptr, TRUE, FALSE, (control + L"-start").c_str()));
  const ScopedHandle stop(CreateEventW(nullptr, TRUE, FALSE, (control + L"-stop").c_str()));
  if (!start || !stop) {
    std::fprintf(stderr, "cannot make the events %ls-start and -stop\n", control.c_str());
    return 1;
  }
  std::optional<RunningHost> host =
      StartBenchHost(L"--minimized --bench-mode=idle --bench-control=" + control +
                     L" \"--bench-out=" + report.path() + L"\"");
  if (!host) return 1;
  Sleep(kSettleMs);
  const double cpu_before = CpuMilliseconds(host->process->handle());
  SetEvent(start.get());
  Sleep(static_cast<DWORD>(seconds) * 1000);
  const double cpu_after = CpuMilliseconds(host->process->handle());
  SetEvent(stop.get());
  const std::optional<devkit::BenchResults> results =
      WaitForReport(report, *host, kReportTimeoutMs);
  const bool stayed_hidden = IsWindowVisible(host->window) == FALSE;
  const std::optional<DWORD> exit_code = QuitHost(*host);
  if (!results || cpu_before < 0 || cpu_after < 0) return 1;

  std::printf("idle host started with --minimized, a window of %d s\n", seconds);
  std::printf("host CPU time %.1f ms, %.2f ms per minute\n", cpu_after - cpu_before,
              (cpu_after - cpu_before) * 60.0 / seconds);
  for (const char* origin : {"host", "engine", "system"}) {
    const std::string* count = results->Find(std::string(origin) + "_messages");
    std::printf("UI thread messages for %-6s code: %s\n", origin,
                count != nullptr ? count->c_str() : "?");
  }
  for (const std::string& message : results->FindAll("message")) {
    std::printf("  %s\n", message.c_str());
  }
  if (!stayed_hidden) std::fprintf(stderr, "the host's window was shown during the run\n");
  return stayed_hidden && exit_code == 0u ? 0 : 1;
}

}  // namespace keelo::bench
