#ifndef PROXY_PROXY_KEEPER_H_
#define PROXY_PROXY_KEEPER_H_

#include <optional>

#include "proxy/proxy_calls.h"
#include "proxy/proxy_log_lines.h"
#include "proxy/proxy_settings.h"

// Changes the user's proxy for the UI application and keeps the settings it asked to have put
// back when the host ends: in memory, and on disk with a guard watching, so that they come back
// even if the host dies. Every change and every restore is written to the log.
class ProxyKeeper {
 public:
  explicit ProxyKeeper(ProxyCalls calls);

  ProxyKeeper(const ProxyKeeper&) = delete;
  ProxyKeeper& operator=(const ProxyKeeper&) = delete;

  // The settings in force now; nothing when they cannot be read.
  std::optional<ProxySettings> Query() const;

  // Applies |requested|. Once applied, |to_restore| is what is put back when the host ends
  // (nothing: nothing is); had it failed, what was to be put back before still is. False when
  // WinINet refused the settings.
  bool Apply(const ProxySettings& requested, std::optional<ProxySettings> to_restore);

  // Applies the settings to put back, once, and says so in the log with |source|; later calls do
  // nothing until Apply gives new ones.
  void RestoreProxyIfSaved(ProxyRestoreSource source);

  const std::optional<ProxySettings>& to_restore() const { return to_restore_; }

 private:
  // Makes the durable copy of |snapshot| (nothing: none), and starts the guard when a copy
  // appears.
  void KeepSnapshotOnDisk(const std::optional<ProxySettings>& snapshot);

  ProxyCalls calls_;
  std::optional<ProxySettings> to_restore_;
  // Whether this host's snapshot is on disk, so that its proxy guard is running or on its way.
  bool snapshot_on_disk_ = false;
};

#endif  // PROXY_PROXY_KEEPER_H_
