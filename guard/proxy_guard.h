#ifndef GUARD_PROXY_GUARD_H_
#define GUARD_PROXY_GUARD_H_

#include <windows.h>

#include <optional>

#include "proxy/proxy_calls.h"

// keelo_proxy_guard.exe: started by a host when its proxy snapshot first appears on disk, it
// waits for that host to end and puts the snapshot back if the host could not (killed, crashed,
// its console closed under it). It has no window and no part in the single-instance rule, and
// costs nothing while it waits: it sleeps on the host's process and on a change notification
// of the snapshot's key, never polling.

// The host's process id from the guard's command line (the arguments after the program name):
// a decimal number, nothing else; nothing for anything else.
std::optional<DWORD> GuardedProcessId(const wchar_t* arguments);

// Watches over the snapshot of the host |host_process_id|: returns once the snapshot is gone
// (the host put it back, or a later "setProxy" had none), or once the host has ended and its
// snapshot, still there, has been applied and removed. Returns at once when another guard
// already watches this host.
void GuardProxySnapshotOf(DWORD host_process_id, const ProxyCalls& calls);

#endif  // GUARD_PROXY_GUARD_H_
