#ifndef GUARD_PROXY_GUARD_H_
#define GUARD_PROXY_GUARD_H_

#include "proxy/process_identity.h"
#include "proxy/proxy_calls.h"

// keelo_proxy_guard.exe: started for a host when its proxy snapshot appears on disk, it waits
// for that host to end and puts the snapshot back if the host could not (killed, crashed, its
// console closed under it, its process tree ended), unless someone else changed the proxy
// meanwhile. It has no window and no part in the single-instance rule, and costs nothing while
// it waits: it sleeps on the host's process and on a change notification of the snapshot's key,
// never polling. Its other two forms detach it from the host's process tree and repair the proxy
// at sign-in (see guard_command.h).

// Watches over the snapshot of |host|: returns once the snapshot is gone (the host put it back,
// or a later "setProxy" had none), or once the host has ended and its snapshot, still there, has
// been put back (or left, as someone else changed the proxy) and removed. A process of the host's
// id created at another time is not the host, which has then ended. Returns at once when another
// guard already watches this host. Owns the guard's mutex while it watches.
void GuardProxySnapshotOf(const ProcessIdentity& host, const ProxyCalls& calls);

// Starts the guard that watches |host| from this guard's executable, and returns without waiting
// for it: the watching guard's parent is then a process that has ended, outside the host's
// process tree. False when it could not be started.
bool StartWatchingGuard(const ProcessIdentity& host);

// The repair at sign-in: puts back a snapshot whose host no longer runs (see
// RestoreSnapshotLeftBehind), and returns at once when there is none. A snapshot whose host
// still runs stays with it, and so does a repair at the next sign-in for it.
void RestoreProxyAtSignIn(const ProxyCalls& calls);

#endif  // GUARD_PROXY_GUARD_H_
