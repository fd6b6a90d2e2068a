#include "bench/thread_times.h"

#include <tlhelp32.h>

#include "common/scoped_handles.h"

namespace keelo::bench {
namespace {

unsigned long long Ticks(const FILETIME& time) {
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

double ThreadsCpuMilliseconds(DWORD process_id) {
  const ScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return -1;
  unsigned long long total = 0;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot.get(), &entry); more;
       more = Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID != process_id) continue;
    const ScopedHandle thread(
        OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID));
    FILETIME created;
    FILETIME exited;
    FILETIME kernel;
    FILETIME user;
    if (thread && GetThreadTimes(thread.get(), &created, &exited, &kernel, &user)) {
      total += Ticks(kernel) + Ticks(user);
    }
  }
  // FILETIME counts 100 ns.
  return static_cast<double>(total) / 10000.0;
}

}  // namespace keelo::bench
