#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_host.h"
#include "bench/host_runs.h"
#include "bench/thread_times.h"
#include "common/scoped_handles.h"

namespace keelo::bench {
namespace {

// After the window exists, the host still finishes starting (the tray icon, the first frame);
// the idle window opens once that is over.
constexpr DWORD kSettleMs = 3000;
constexpr DWORD kReportTimeoutMs = 10000;

}  // namespace

int RunIdle(int seconds) {
  const BenchFilePath report(L"idle");
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
  const double cpu_before = ThreadsCpuMilliseconds(host->process->id());
  SetEvent(start.get());
  Sleep(static_cast<DWORD>(seconds) * 1000);
  const double cpu_after = ThreadsCpuMilliseconds(host->process->id());
  SetEvent(stop.get());
  const std::optional<devkit::BenchResults> results =
      WaitForReport(report, *host, kReportTimeoutMs);
  const bool stayed_hidden = IsWindowVisible(host->window) == FALSE;
  const std::optional<DWORD> exit_code = QuitHost(*host);
  if (!results || cpu_before < 0 || cpu_after < 0) return 1;

  std::printf("idle host started with --minimized, a window of %d s\n", seconds);
  // Both in 10 ms ticks under Wine: the harness's sum over the host's threads, and the host's own
  // view of its whole process, read by the bench application at the window's ends.
  const std::string* own_cpu = results->Find("process_cpu_ms");
  const double own_ms = own_cpu != nullptr ? std::strtod(own_cpu->c_str(), nullptr) : -1;
  std::printf(
      "host CPU time, its threads seen from here: %.1f ms (%.2f ms per minute; %.1f ms "
      "used by the window's start)\n",
      cpu_after - cpu_before, (cpu_after - cpu_before) * 60.0 / seconds, cpu_before);
  std::printf("host CPU time, its process seen from inside: %.1f ms (%.2f ms per minute)\n", own_ms,
              own_ms * 60.0 / seconds);
  const std::string* before = results->Find("messages_before_window");
  for (const char* origin : {"host", "engine", "system"}) {
    const std::string* count = results->Find(std::string(origin) + "_messages");
    std::printf("UI thread messages queued for %-6s code: %s\n", origin,
                count != nullptr ? count->c_str() : "?");
  }
  const std::string* sent = results->Find("sent_messages");
  std::printf("UI thread messages sent by other threads: %s\n",
              sent != nullptr ? sent->c_str() : "?");
  std::printf("(the census saw %s messages during the start-up, before the window)\n",
              before != nullptr ? before->c_str() : "?");
  for (const std::string& message : results->FindAll("message")) {
    std::printf("  %s\n", message.c_str());
  }
  const bool hook_saw_start_up = before != nullptr && *before != "0";
  if (!hook_saw_start_up) {
    std::fprintf(stderr, "the census saw no message of the host's start-up: is the hook in?\n");
  }
  if (!stayed_hidden) std::fprintf(stderr, "the host's window was shown during the run\n");
  return hook_saw_start_up && stayed_hidden && exit_code == 0u ? 0 : 1;
}

}  // namespace keelo::bench
