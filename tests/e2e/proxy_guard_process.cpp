#include "tests/e2e/proxy_guard_process.h"

// After windows.h, which it needs.
#include <tlhelp32.h>

#include "common/shared_names.h"
#include "proxy/durable_proxy_snapshot.h"
#include "tests/e2e/host_process.h"

namespace keelo::testing {
namespace {

DWORD ProxyGuardIdOf(DWORD host_process_id) {
  const ScopedFileHandle processes(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!processes) return 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(processes.get(), &entry); more;
       more = Process32NextW(processes.get(), &entry)) {
    if (entry.th32ParentProcessID == host_process_id &&
        CompareStringOrdinal(entry.szExeFile, -1, kProxyGuardExecutable, -1, TRUE) == CSTR_EQUAL) {
      return entry.th32ProcessID;
    }
  }
  return 0;
}

}  // namespace

ScopedHandle WaitForProxyGuardOf(DWORD host_process_id, DWORD timeout_ms) {
  DWORD guard = 0;
  WaitUntil([&] { return (guard = ProxyGuardIdOf(host_process_id)) != 0; }, timeout_ms);
  if (guard == 0) return ScopedHandle();
  return ScopedHandle(OpenProcess(
      SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, guard));
}

}  // namespace keelo::testing
