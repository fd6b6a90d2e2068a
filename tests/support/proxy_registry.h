#ifndef TESTS_SUPPORT_PROXY_REGISTRY_H_
#define TESTS_SUPPORT_PROXY_REGISTRY_H_

#include <windows.h>

#include <optional>
#include <string>

#include "common/shared_names.h"
#include "tests/support/registry_text.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {

// Where Wine's WinINet keeps the user's proxy, for every process of the prefix: the flags as
// ProxyEnable (0 for a direct connection, 1 with a proxy), and the server.
inline constexpr wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

struct RegistryProxy {
  DWORD enable = 0;
  std::wstring server;

  bool operator==(const RegistryProxy&) const = default;
};

inline RegistryProxy ReadRegistryProxy() {
  RegistryProxy proxy;
  DWORD size = sizeof(proxy.enable);
  RegGetValueW(HKEY_CURRENT_USER, kInternetSettings, L"ProxyEnable", RRF_RT_REG_DWORD, nullptr,
               &proxy.enable, &size);
  proxy.server =
      ReadRegistryText(HKEY_CURRENT_USER, kInternetSettings, L"ProxyServer").value_or(L"");
  return proxy;
}

inline std::string Describe(const RegistryProxy& proxy) {
  return "ProxyEnable=" + std::to_string(proxy.enable) +
         " ProxyServer=" + std::string(proxy.server.begin(), proxy.server.end());
}

// The proxy values of the prefix as they were, also when a test failed half-way.
struct ProxyRegistryGuard {
  RegistryValueGuard enable{kInternetSettings, L"ProxyEnable"};
  RegistryValueGuard server{kInternetSettings, L"ProxyServer"};
  RegistryValueGuard bypass{kInternetSettings, L"ProxyOverride"};
  RegistryValueGuard autoconfig{kInternetSettings, L"AutoConfigURL"};
};

// Keelo's proxy snapshot and the repair at sign-in that goes with it, as they were, also when a
// test failed half-way.
struct ProxySnapshotGuard {
  RegistryValueGuard snapshot{kProxySnapshotKeyPath, kProxySnapshotValueName};
  RegistryValueGuard repair{kRunOnceKeyPath, kSignInRepairValueName};
};

// The repair at sign-in's command line; nothing when there is none.
inline std::optional<std::wstring> SignInRepairEntry() {
  return ReadRegistryText(HKEY_CURRENT_USER, kRunOnceKeyPath, kSignInRepairValueName);
}

}  // namespace keelo::testing

#endif  // TESTS_SUPPORT_PROXY_REGISTRY_H_
