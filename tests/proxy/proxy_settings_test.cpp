#include "proxy/proxy_settings.h"

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <wininet.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "proxy/proxy_calls.h"
#include "proxy/proxy_settings_map.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

TEST(ProxyFlagsTest, OnlyNumbersA32BitUnsignedValueHoldsAreFlags) {
  EXPECT_EQ(ProxyFlagsFromNumber(3.9), 3u);
  EXPECT_EQ(ProxyFlagsFromNumber(0.0), 0u);
  EXPECT_EQ(ProxyFlagsFromNumber(4294967295.0), 4294967295u);
  EXPECT_EQ(ProxyFlagsFromNumber(4294967296.0), std::nullopt);
  EXPECT_EQ(ProxyFlagsFromNumber(-1.0), std::nullopt);
  EXPECT_EQ(ProxyFlagsFromNumber(std::nan("")), std::nullopt);
  EXPECT_EQ(ProxyFlagsFromNumber(std::numeric_limits<double>::infinity()), std::nullopt);
  EXPECT_EQ(ProxyFlagsFromNumber(-std::numeric_limits<double>::infinity()), std::nullopt);
}

TEST(ProxySettingsMapTest, ReadsLenientlyAndWritesFlagsAsInt64) {
  EXPECT_EQ(ProxySettingsFromMap(EncodableMap{
                {"flags", int64_t{9}}, {"server", "h:1"}, {"bypass", 5}, {"pac", "u"}}),
            (ProxySettings{9, L"h:1", L"", L"u"}));
  EXPECT_EQ(ProxySettingsFromMap(EncodableMap{}), ProxySettings{});
  EXPECT_EQ(ProxySettingsFromMap(EncodableMap{{"flags", "3"}}).flags, 1u);
  EXPECT_EQ(ProxySettingsFromMap(EncodableMap{{"flags", 3.9}, {"server", "caf\xC3\xA9:1"}}),
            (ProxySettings{3, L"caf\u00E9:1", L"", L""}));
  // A key is a string value; the same name as another kind of value is no key.
  EXPECT_EQ(ProxySettingsFromMap(
                EncodableMap{{EncodableValue(std::vector<uint8_t>{'p', 'a', 'c'}), "u"}}),
            ProxySettings{});

  EXPECT_EQ(ProxySettingsToMap({4294967295u, L"s", L"b", L"p"}),
            (EncodableMap{
                {"flags", int64_t{4294967295}}, {"server", "s"}, {"bypass", "b"}, {"pac", "p"}}));
}

// WinINet of the test prefix for real, as far as Wine keeps it: the flags off and a server.
class ProxyRoundTripTest : public ::testing::Test {
 protected:
  static constexpr wchar_t kInternetSettings[] =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

  void TearDown() override {
    // Direct connection, whatever the test did.
    ApplyProxySettings(ProxySettings{}, ProxyCalls::Real());
  }

  RegistryValueGuard enable_{kInternetSettings, L"ProxyEnable"};
  RegistryValueGuard server_{kInternetSettings, L"ProxyServer"};
  RegistryValueGuard bypass_{kInternetSettings, L"ProxyOverride"};
  RegistryValueGuard autoconfig_{kInternetSettings, L"AutoConfigURL"};
};

TEST_F(ProxyRoundTripTest, FlagsAndServerComeBackAsApplied) {
  const ProxyCalls calls = ProxyCalls::Real();
  ASSERT_TRUE(ApplyProxySettings({PROXY_TYPE_DIRECT, L"proxy.keelo.test:8080", L"", L""}, calls));
  const std::optional<ProxySettings> read = QueryProxySettings(calls);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->flags, static_cast<DWORD>(PROXY_TYPE_DIRECT));
  EXPECT_EQ(read->server, L"proxy.keelo.test:8080");

  wchar_t stored[128] = {};
  DWORD size = sizeof(stored);
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kInternetSettings, L"ProxyServer", RRF_RT_REG_SZ,
                         nullptr, stored, &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(stored, L"proxy.keelo.test:8080");
}

}  // namespace
}  // namespace keelo::testing
