#ifndef INSTALLER_ACTIONS_PROXY_LEFT_BEHIND_H_
#define INSTALLER_ACTIONS_PROXY_LEFT_BEHIND_H_

#include <optional>

#include "proxy/durable_proxy_snapshot.h"

// Puts back, and removes, the proxy snapshot a host left on disk when it died without its guard
// having put it back; a snapshot whose host still runs (from another folder than the one being
// removed) stays with it. Nothing when there was none to put back.
std::optional<RestoredProxySnapshot> RestoreSnapshotLeftBehind();

#endif  // INSTALLER_ACTIONS_PROXY_LEFT_BEHIND_H_
