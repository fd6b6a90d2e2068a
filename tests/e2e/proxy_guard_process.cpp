#include "tests/e2e/proxy_guard_process.h"

// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/shared_names.h"
#include "tests/e2e/host_process.h"
#include "tests/support/proxy_registry.h"

namespace keelo::testing {
namespace {

std::vector<PROCESSENTRY32W> RunningProcesses() {
  std::vector<PROCESSENTRY32W> processes;
  const ScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return processes;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    processes.push_back(entry);
  }
  return processes;
}

uint64_t CreationTimeOf(HANDLE process) {
  FILETIME created;
  FILETIME exited;
  FILETIME kernel;
  FILETIME user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace

bool ProxyGuardWatches(DWORD host_process_id) {
  const ScopedHandle mutex(
      OpenMutexW(SYNCHRONIZE, FALSE, ProxyGuardMutexName(host_process_id).c_str()));
  return static_cast<bool>(mutex);
}

ScopedHandle WaitForProxyGuardOf(DWORD host_process_id, DWORD timeout_ms) {
  if (!WaitUntil([&] { return ProxyGuardWatches(host_process_id); }, timeout_ms)) {
    return ScopedHandle();
  }
  ScopedHandle newest;
  uint64_t newest_created = 0;
  for (const PROCESSENTRY32W& process : RunningProcesses()) {
    if (CompareStringOrdinal(process.szExeFile, -1, kProxyGuardExecutable, -1, TRUE) !=
        CSTR_EQUAL) {
      continue;
    }
    ScopedHandle guard(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE,
                    process.th32ProcessID));
    const uint64_t created = guard ? CreationTimeOf(guard.get()) : 0;
    if (guard && created >= newest_created) {
      newest = std::move(guard);
      newest_created = created;
    }
  }
  return newest;
}

int EndProcessTree(DWORD root) {
  const std::vector<PROCESSENTRY32W> processes = RunningProcesses();
  std::vector<DWORD> tree = {root};
  for (size_t next = 0; next < tree.size(); ++next) {
    for (const PROCESSENTRY32W& process : processes) {
      if (process.th32ParentProcessID == tree[next] && process.th32ProcessID != root) {
        tree.push_back(process.th32ProcessID);
      }
    }
  }
  int ended = 0;
  for (const DWORD id : tree) {
    const ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    if (process && TerminateProcess(process.get(), 1)) {
      WaitForSingleObject(process.get(), 5000);
      ++ended;
    }
  }
  return ended;
}

bool FreezeProcess(DWORD process_id) {
  const ScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return false;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  bool all = true;
  for (BOOL more = Thread32First(snapshot.get(), &entry); more;
       more = Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID != process_id) continue;
    const ScopedHandle thread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
    const DWORD suspended = thread ? SuspendThread(thread.get()) : static_cast<DWORD>(-1);
    all = all && thread && suspended != static_cast<DWORD>(-1);
  }
  return all;
}

std::optional<DWORD> RunSignInRepairAsWindowsDoes(DWORD timeout_ms) {
  std::optional<std::wstring> command = SignInRepairEntry();
  if (!command) return std::nullopt;
  // Deleted before the command runs, unless its name begins with '!'.
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunOnceKeyPath, kSignInRepairValueName);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(nullptr, command->data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &started)) {
    return std::nullopt;
  }
  const ScopedHandle process(started.hProcess);
  const ScopedHandle thread(started.hThread);
  if (WaitForSingleObject(process.get(), timeout_ms) != WAIT_OBJECT_0) return std::nullopt;
  DWORD exit_code = STILL_ACTIVE;
  GetExitCodeProcess(process.get(), &exit_code);
  return exit_code;
}

}  // namespace keelo::testing
