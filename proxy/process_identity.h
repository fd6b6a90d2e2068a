#ifndef PROXY_PROCESS_IDENTITY_H_
#define PROXY_PROCESS_IDENTITY_H_

#include <windows.h>

#include <cstdint>
#include <optional>

// A process as the owner of a proxy snapshot: its id and the time it was created. An id alone
// names a process only while it runs; after it ends (after a reboot above all) the system gives
// the same id to another process, which must not be taken for the snapshot's owner.
struct ProcessIdentity {
  DWORD id = 0;
  // When the process was created, as a FILETIME (100-ns units since 1601); 0 when not known, as
  // in a snapshot that an older host wrote, which is then judged by its id alone.
  uint64_t created = 0;

  bool operator==(const ProcessIdentity&) const = default;
};

// Whether |process|, a process that runs now, is |owner|: the same id, and the same creation
// time unless either is not known.
bool IsSameProcess(const ProcessIdentity& owner, const ProcessIdentity& process);

// When |process| (a handle with PROCESS_QUERY_LIMITED_INFORMATION) was created; nothing when
// the system does not say.
std::optional<uint64_t> ProcessCreationTime(HANDLE process);

// This process.
ProcessIdentity CurrentProcessIdentity();

// Whether |owner| still runs: a running process of its id that IsSameProcess takes for it.
bool IsRunning(const ProcessIdentity& owner);

#endif  // PROXY_PROCESS_IDENTITY_H_
