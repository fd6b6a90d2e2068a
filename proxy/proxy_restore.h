#ifndef PROXY_PROXY_RESTORE_H_
#define PROXY_PROXY_RESTORE_H_

#include <optional>

#include "proxy/proxy_calls.h"
#include "proxy/proxy_settings.h"

// Putting the user's proxy back without taking a proxy someone else set since: every restorer
// (the host's quit, session end, close and teardown, its guard, its next start, the repair at
// sign-in, the installer) goes through RestoreUnlessChanged.

// What a restorer did with the settings it was to put back.
struct ProxyRestoreOutcome {
  // The settings to put back.
  ProxySettings snapshot;
  // Put back, and WinINet took them.
  bool applied = false;
  // Not put back: someone else changed the settings since Keelo applied its own, and these are
  // the settings found in force, which stay.
  std::optional<ProxySettings> changed_by_others;
};

// Whether someone else changed the settings: |current|, in force now, are no longer
// |applied_by_keelo|, as read back right after Keelo's apply. Not when either is not known: the
// settings Keelo applied may then still be in force, and leaving them would leave the user
// without internet.
bool ProxyChangedByOthers(const std::optional<ProxySettings>& applied_by_keelo,
                          const std::optional<ProxySettings>& current);

// Reads the settings in force and puts |snapshot| back unless ProxyChangedByOthers says that
// someone else changed them since Keelo applied |applied_by_keelo|. Applied once: a failed
// apply is not retried.
ProxyRestoreOutcome RestoreUnlessChanged(const ProxySettings& snapshot,
                                         const std::optional<ProxySettings>& applied_by_keelo,
                                         const ProxyCalls& calls);

#endif  // PROXY_PROXY_RESTORE_H_
