#include "proxy/process_identity.h"

#include "common/scoped_handles.h"

bool IsSameProcess(const ProcessIdentity& owner, const ProcessIdentity& process) {
  if (owner.id != process.id) return false;
  return owner.created == 0 || process.created == 0 || owner.created == process.created;
}

std::optional<uint64_t> ProcessCreationTime(HANDLE process) {
  FILETIME created;
  FILETIME exited;
  FILETIME kernel;
  FILETIME user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return std::nullopt;
  return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

ProcessIdentity CurrentProcessIdentity() {
  return ProcessIdentity{GetCurrentProcessId(),
                         ProcessCreationTime(GetCurrentProcess()).value_or(0)};
}

bool IsRunning(const ProcessIdentity& owner) {
  const ScopedHandle process(
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, owner.id));
  // No such process, or one of another user: a host runs as the user whose proxy it keeps, and
  // may always be opened by the user's other processes.
  if (!process) return false;
  if (WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT) return false;
  return IsSameProcess(owner, {owner.id, ProcessCreationTime(process.get()).value_or(0)});
}
