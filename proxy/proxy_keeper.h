#ifndef PROXY_PROXY_KEEPER_H_
#define PROXY_PROXY_KEEPER_H_

#include <optional>

#include "proxy/proxy_calls.h"
#include "proxy/proxy_log_lines.h"
#include "proxy/proxy_settings.h"

// Changes the user's proxy for the UI application and keeps the settings it asked to have put
// back when the host ends: in memory, and on disk with a guard watching and a repair at the next
// sign-in, so that they come back even if the host dies. They are put back only while the
// settings Keelo applied are still in force: a proxy someone else set meanwhile stays. Every
// change and every restore is written to the log.
class ProxyKeeper {
 public:
  explicit ProxyKeeper(ProxyCalls calls);

  ProxyKeeper(const ProxyKeeper&) = delete;
  ProxyKeeper& operator=(const ProxyKeeper&) = delete;

  // The settings in force now; nothing when they cannot be read.
  std::optional<ProxySettings> Query() const;

  // Applies |requested|. Once applied, |to_restore| is what is put back when the host ends
  // (nothing: nothing is); had it failed, what was to be put back before still is. False when
  // WinINet refused the settings, and without trying once the keeper is closed or the process
  // is dying: a change then would be one that nothing puts back.
  bool Apply(const ProxySettings& requested, std::optional<ProxySettings> to_restore);

  // Puts the settings to put back back, once, unless someone else changed the proxy since Keelo
  // applied its own, and says so in the log with |source|; later calls do nothing until Apply
  // gives new ones.
  void RestoreProxyIfSaved(ProxyRestoreSource source);

  // From now on Apply changes nothing: the session is ending, and the system may end the
  // process without any teardown.
  void Close() { closed_ = true; }

  const std::optional<ProxySettings>& to_restore() const { return to_restore_; }

 private:
  // Makes the durable copy of the settings to put back, with |applied| (nothing: not known),
  // or removes it when there are none.
  void KeepSnapshotOnDisk(const std::optional<ProxySettings>& snapshot,
                          const std::optional<ProxySettings>& applied);
  // Tells the guard's seam whether a snapshot is on disk, when that changed.
  void TellGuard(bool snapshot_on_disk);

  ProxyCalls calls_;
  std::optional<ProxySettings> to_restore_;
  // The settings Keelo applied with |to_restore_|, as read back right after; nothing when they
  // could not be read.
  std::optional<ProxySettings> applied_;
  bool snapshot_on_disk_ = false;
  bool closed_ = false;
};

#endif  // PROXY_PROXY_KEEPER_H_
