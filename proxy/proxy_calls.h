#ifndef PROXY_PROXY_CALLS_H_
#define PROXY_PROXY_CALLS_H_

#include <windows.h>
// wininet.h needs the types that windows.h declares.
#include <wininet.h>

#include <functional>

// What keeping the user's proxy does that a test must not do for real, or cannot arrange under
// Wine: one entry per operation, so that a test's fake keeps its record in the test's own locals.
// The snapshot's registry value and the repair at sign-in are not among them: Wine keeps a
// registry of the test's own.
struct ProxyCalls {
  // Sets WinINet's per-connection options in |options| and tells WinINet that the settings
  // changed; false when setting them failed. Wine keeps neither bypass nor autoconfig URL and
  // reads flags 3 back as 2, and a test must not change the proxy of the machine it runs on.
  std::function<bool(INTERNET_PER_CONN_OPTION_LISTW& options)> apply_options;

  // Reads the per-connection options named in |options| into it; texts come back allocated for
  // the caller to free with GlobalFree. False when they cannot be read.
  std::function<bool(INTERNET_PER_CONN_OPTION_LISTW& options)> query_options;

  // Told whether this process's durable proxy snapshot is on disk, each time that changes: while
  // it is, a proxy guard outside this process's tree watches and puts it back if this process
  // ends without doing it (see ProxyGuardWatch). A test must not leave processes running, nor
  // one that changes the proxy of the machine it runs on.
  std::function<void(bool snapshot_on_disk)> guard_snapshot;

  // The system's own operations; this unit alone performs them. Each call makes a guard watch
  // of its own, which starts its thread only once a snapshot appears.
  static ProxyCalls Real();
};

#endif  // PROXY_PROXY_CALLS_H_
