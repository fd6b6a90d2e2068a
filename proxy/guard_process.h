#ifndef PROXY_GUARD_PROCESS_H_
#define PROXY_GUARD_PROCESS_H_

#include <string>

#include "common/scoped_handles.h"
#include "proxy/process_identity.h"

// Starting keelo_proxy_guard.exe, by a host (in the detaching form) and by the guard that
// detaches (in the watching form).

// The guard's arguments after its name: "<id> <creation time>" for the watching form, with
// |switch_name| (kGuardDetachSwitch) first for the detaching one.
std::wstring GuardArguments(const ProcessIdentity& host, const wchar_t* switch_name = nullptr);

// Starts the guard at |guard_path| with |arguments|; the process's handle, or null when it could
// not be started. Out of the caller's job where the job allows it: a job that ends its processes
// together (a terminal's, a debugger's) would take the guard along with the host it watches. No
// handle is inherited: the guard opens the host itself, and must not hold the pipes of whoever
// started the host.
ScopedHandle StartGuardProcess(const std::wstring& guard_path, const std::wstring& arguments);

#endif  // PROXY_GUARD_PROCESS_H_
