#ifndef PROXY_PROXY_LOG_LINES_H_
#define PROXY_PROXY_LOG_LINES_H_

#include <optional>
#include <string>

#include "proxy/proxy_restore.h"
#include "proxy/proxy_settings.h"

// The log's lines about the user's proxy: every change and every restore, with where it came
// from, so that a user who lost their internet can send what happened.

// Where a snapshot was put back from.
enum class ProxyRestoreSource {
  kQuit,        // the tray's Quit, the quit message or a console's Ctrl+C
  kSessionEnd,  // the session ending
  kCloseApp,    // an installer or an update closing the host (the Restart Manager)
  kTeardown,    // the bridge torn down
  kNextStart,   // the next host, for one that ended without putting it back
  kGuard,       // the host's proxy guard, once the host had ended
  kSignIn,      // the repair at sign-in, for a host that ended without anyone putting it back
  kUninstall,   // the installer, before it removed Keelo
};

// flags 3, server "proxy.lan:8080", bypass "<local>", pac ""
std::string DescribeProxySettings(const ProxySettings& settings);

// One "setProxy": what was asked, whether it was applied, and what is to be put back on exit
// afterwards (unchanged when it was not applied).
std::string SetProxyLine(const ProxySettings& requested, bool applied,
                         const std::optional<ProxySettings>& to_restore);

// A snapshot put back, or tried: "Proxy restored (guard): flags 1, ...", or left because
// someone else changed the proxy: "Proxy left as someone else set it (guard): flags 1, ...;
// not restored: flags 1, ...".
std::string ProxyRestoreLine(ProxyRestoreSource source, const ProxyRestoreOutcome& outcome);

#endif  // PROXY_PROXY_LOG_LINES_H_
