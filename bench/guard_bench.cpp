// What the proxy guard gives a user whose host is killed, measured under Wine with the real host
// on the development kit, the driver as its UI application and the test prefix's WinINet:
//
//   guard_bench [--kills N] [--seconds S]
//
// Kill to proxy back: the host sets a blocking proxy with a snapshot to put back, its guard
// starts and watches, and the harness ends the host with TerminateProcess (Task Manager's End
// task). The time runs from just before that call to the harness finding the snapshot's server
// in the registry, where Wine's WinINet keeps it; the harness sleeps on a change notification
// of the Internet Settings key rather than polling. Three kills first, not counted, then N
// (20 by default): median, lowest and highest.
//
// The guard's cost while it waits: its threads' CPU time (Wine answers GetProcessTimes of
// another process with a constant; see thread_times.h) when it has begun to watch, and over
// S seconds (30 by default) of an idle host after that.
//
// Not a test; see README.md.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/thread_times.h"
#include "bridge/app_identifier.h"
#include "common/scoped_handles.h"
#include "common/shared_names.h"
#include "devkit/driver/client/driver_client.h"
#include "devkit/driver/protocol/driver_config.h"
#include "messaging/encodable_value.h"
#include "proxy/durable_proxy_snapshot.h"
#include "proxy/proxy_calls.h"
#include "proxy/proxy_settings.h"
#include "tests/e2e/host_process.h"
#include "tests/e2e/proxy_guard_process.h"
#include "tests/support/fixtures.h"
#include "tests/support/host_bundle.h"
#include "tests/support/local_app_data.h"
#include "tests/support/proxy_registry.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::bench {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using keelo::testing::ChildProcess;
using keelo::testing::StartHostProcess;

using keelo::testing::kInternetSettings;

constexpr int kWarmUps = 3;
constexpr DWORD kStartTimeoutMs = 30000;
constexpr DWORD kRestoreTimeoutMs = 10000;

double NowMs() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::wstring ProxyServer() { return keelo::testing::ReadRegistryProxy().server; }

bool GuardWatches(DWORD host_process_id) {
  const ScopedHandle mutex(
      OpenMutexW(SYNCHRONIZE, FALSE, ProxyGuardMutexName(host_process_id).c_str()));
  return static_cast<bool>(mutex);
}

// A host of the bench's bundle that holds a snapshot, and its guard, watching.
struct GuardedHost {
  std::unique_ptr<devkit::DriverClient> client;
  std::unique_ptr<ChildProcess> host;
  ScopedHandle guard;
};

std::optional<GuardedHost> StartGuardedHost(const std::wstring& before) {
  GuardedHost started;
  std::string error;
  started.client = devkit::DriverClient::Create(&error);
  if (!started.client) {
    std::fprintf(stderr, "guard_bench: no driver pipe: %s\n", error.c_str());
    return std::nullopt;
  }
  const std::string channels = std::string(kDesktopChannel) + ";" + kUiChannel;
  SetEnvironmentVariableA(devkit::kPipeVariable, started.client->pipe_name().c_str());
  SetEnvironmentVariableA(devkit::kChannelsVariable, channels.c_str());
  const std::wstring bundle = keelo::testing::WindowsPathOf(KEELO_GUARD_BENCH_BUNDLE_DIR);
  started.host = StartHostProcess(keelo::testing::HostIn(bundle), L"--minimized", bundle);
  if (!started.host) {
    std::fprintf(stderr, "guard_bench: the host did not start\n");
    return std::nullopt;
  }
  const auto hello = started.client->WaitForDriver(std::chrono::milliseconds(kStartTimeoutMs));
  if (!hello.ok()) {
    std::fprintf(stderr, "guard_bench: %s\n", hello.error.c_str());
    return std::nullopt;
  }
  const std::string before_utf8(before.begin(), before.end());
  const auto reply = started.client->InvokeMethod(
      kDesktopChannel, "setProxy",
      EncodableValue(EncodableMap{{"flags", 3},
                                  {"server", "127.0.0.1:9"},
                                  {"restoreOnExit", EncodableMap{{"server", before_utf8}}}}));
  if (!reply.ok() || reply.value.value != EncodableValue(true)) {
    std::fprintf(stderr, "guard_bench: setProxy failed\n");
    return std::nullopt;
  }
  const DWORD host_id = started.host->id();
  started.guard = keelo::testing::WaitForProxyGuardOf(host_id, kStartTimeoutMs);
  if (!started.guard ||
      !keelo::testing::WaitUntil([&] { return GuardWatches(host_id); }, kStartTimeoutMs)) {
    std::fprintf(stderr, "guard_bench: no guard watched the host\n");
    return std::nullopt;
  }
  return started;
}

// Kills the host and returns the milliseconds until |before| is the proxy server again; none
// when it was not within the timeout, or the guard did not end cleanly after.
std::optional<double> KillAndTimeRestore(GuardedHost& guarded, const std::wstring& before,
                                         HKEY settings, HANDLE changed) {
  const double killed = NowMs();
  TerminateProcess(guarded.host->handle(), 1);
  std::optional<double> restored;
  while (!restored) {
    RegNotifyChangeKeyValue(settings, FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed, TRUE);
    if (ProxyServer() == before) {
      restored = NowMs() - killed;
    } else if (WaitForSingleObject(changed, kRestoreTimeoutMs) != WAIT_OBJECT_0) {
      std::fprintf(stderr, "guard_bench: the proxy was not put back\n");
      return std::nullopt;
    }
  }
  DWORD guard_exit = STILL_ACTIVE;
  if (WaitForSingleObject(guarded.guard.get(), kRestoreTimeoutMs) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(guarded.guard.get(), &guard_exit) || guard_exit != 0 ||
      ReadProxySnapshotText().has_value()) {
    std::fprintf(stderr, "guard_bench: the guard did not end cleanly\n");
    return std::nullopt;
  }
  return restored;
}

int Run(int kills, int seconds) {
  const keelo::testing::ProxyRegistryGuard proxy_values;
  const keelo::testing::RegistryValueGuard snapshot(kProxySnapshotKeyPath, kProxySnapshotValueName);
  const keelo::testing::TemporaryLocalAppData local;
  ScopedRegistryKey settings;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, KEY_NOTIFY, settings.put()) !=
      ERROR_SUCCESS) {
    std::fprintf(stderr, "guard_bench: cannot watch the Internet Settings key\n");
    return 1;
  }
  const ScopedHandle changed(CreateEventW(nullptr, FALSE, FALSE, nullptr));

  std::vector<double> times;
  for (int run = 0; run < kWarmUps + kills; ++run) {
    const std::wstring before = L"before:" + std::to_wstring(run);
    std::optional<GuardedHost> guarded = StartGuardedHost(before);
    if (!guarded) return 1;
    if (run == kWarmUps && seconds > 0) {
      const DWORD guard_id = GetProcessId(guarded->guard.get());
      const double at_watch = ThreadsCpuMilliseconds(guard_id);
      Sleep(static_cast<DWORD>(seconds) * 1000);
      const double after = ThreadsCpuMilliseconds(guard_id);
      std::printf("guard CPU: %.0f ms to start and begin watching, %.0f ms over %d s of waiting\n",
                  at_watch, after - at_watch, seconds);
    }
    const std::optional<double> restored =
        KillAndTimeRestore(*guarded, before, settings.get(), changed.get());
    if (!restored) return 1;
    if (run >= kWarmUps) times.push_back(*restored);
  }
  ApplyProxySettings(ProxySettings{}, ProxyCalls::Real());

  std::vector<double> sorted = times;
  std::sort(sorted.begin(), sorted.end());
  const size_t middle = sorted.size() / 2;
  const double median =
      sorted.size() % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2.0;
  std::printf("kill to proxy back, %zu kills: median %.1f ms, lowest %.1f ms, highest %.1f ms\n",
              sorted.size(), median, sorted.front(), sorted.back());
  std::printf("each, in order:");
  for (const double time : times) std::printf(" %.1f", time);
  std::printf("\n");
  return 0;
}

}  // namespace
}  // namespace keelo::bench

int main(int argc, char** argv) {
  int kills = 20;
  int seconds = 30;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--kills") == 0) kills = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::max(0, std::atoi(argv[i + 1]));
  }
  return keelo::bench::Run(kills, seconds);
}
