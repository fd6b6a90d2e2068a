#include "proxy/proxy_restore.h"

bool ProxyChangedByOthers(const std::optional<ProxySettings>& applied_by_keelo,
                          const std::optional<ProxySettings>& current) {
  return applied_by_keelo && current && *applied_by_keelo != *current;
}

ProxyRestoreOutcome RestoreUnlessChanged(const ProxySettings& snapshot,
                                         const std::optional<ProxySettings>& applied_by_keelo,
                                         const ProxyCalls& calls) {
  ProxyRestoreOutcome outcome{snapshot, false, std::nullopt};
  // Read only when there is something to compare it with.
  std::optional<ProxySettings> current =
      applied_by_keelo ? QueryProxySettings(calls) : std::nullopt;
  if (ProxyChangedByOthers(applied_by_keelo, current)) {
    outcome.changed_by_others = std::move(current);
    return outcome;
  }
  outcome.applied = ApplyProxySettings(snapshot, calls);
  return outcome;
}
