#include "proxy/proxy_snapshot.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "common/shared_names.h"
#include "proxy/durable_proxy_snapshot.h"
#include "proxy/proxy_log_lines.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {
namespace {

const ProxySnapshot kPlain = {4242, ProxySettings{3, L"proxy.lan:8080", L"<local>", L""}};

TEST(ProxySnapshotCodecTest, WritesEveryFieldInItsVersionedForm) {
  EXPECT_EQ(EncodeProxySnapshot(kPlain),
            L"v1 owner=4242 flags=3 server=14:proxy.lan:8080 bypass=7:<local> pac=0:");
  EXPECT_EQ(DecodeProxySnapshot(EncodeProxySnapshot(kPlain)), kPlain);
}

// The texts come from the UI application: whatever they hold, the lengths keep them apart.
TEST(ProxySnapshotCodecTest, AnyTextComesBackWhole) {
  const std::vector<ProxySnapshot> snapshots = {
      {0, ProxySettings{0, L"", L"", L""}},
      {4294967295u, ProxySettings{4294967295u, L" pac=3:abc", L"a bypass=1:x", L"http://p/?a=1 b"}},
      {7, ProxySettings{9, std::wstring(L"nul\0inside", 10), L"\U0001F600 \x00E9", L"12:"}},
      {8, ProxySettings{1, std::wstring(40000, L's'), L";", L"\r\n"}},
  };
  for (const ProxySnapshot& snapshot : snapshots) {
    EXPECT_EQ(DecodeProxySnapshot(EncodeProxySnapshot(snapshot)), snapshot);
  }
}

TEST(ProxySnapshotCodecTest, RefusesAnythingButExactlyItsOwnForm) {
  const std::wstring whole = EncodeProxySnapshot(kPlain);
  // Every shorter text, and every text with something after it.
  for (size_t length = 0; length < whole.size(); ++length) {
    EXPECT_EQ(DecodeProxySnapshot(whole.substr(0, length)), std::nullopt) << length;
  }
  EXPECT_EQ(DecodeProxySnapshot(whole + L" "), std::nullopt);
  EXPECT_EQ(DecodeProxySnapshot(whole + L"x"), std::nullopt);
  for (const wchar_t* text : {
           // A later version, which this one leaves alone.
           L"v2 owner=1 flags=1 server=0: bypass=0: pac=0:",
           L"V1 owner=1 flags=1 server=0: bypass=0: pac=0:",
           // Numbers out of range or not numbers.
           L"v1 owner=4294967296 flags=1 server=0: bypass=0: pac=0:",
           L"v1 owner=1 flags=99999999999 server=0: bypass=0: pac=0:",
           L"v1 owner=-1 flags=1 server=0: bypass=0: pac=0:",
           L"v1 owner=1 flags=+1 server=0: bypass=0: pac=0:",
           L"v1 owner=1 flags= server=0: bypass=0: pac=0:",
           L"v1 owner=x flags=1 server=0: bypass=0: pac=0:",
           // A length past the end, or without its colon.
           L"v1 owner=1 flags=1 server=0: bypass=0: pac=1:",
           L"v1 owner=1 flags=1 server=99: bypass=0: pac=0:",
           L"v1 owner=1 flags=1 server=0 bypass=0: pac=0:",
           // Fields out of order or missing.
           L"v1 flags=1 owner=1 server=0: bypass=0: pac=0:",
           L"v1 owner=1 flags=1 server=0: pac=0:",
           L"v1 owner=1 flags=1 server=0: pac=0: bypass=0:",
       }) {
    EXPECT_EQ(DecodeProxySnapshot(text), std::nullopt) << std::wstring(text).size();
  }
}

TEST(ProxyLogLinesTest, SayWhatWasAppliedAndWhereFrom) {
  const ProxySettings blocking{3, L"127.0.0.1:9", L"<local>", L""};
  const ProxySettings direct{1, L"", L"", L""};
  EXPECT_EQ(SetProxyLine(blocking, true, direct),
            "setProxy applied flags 3, server \"127.0.0.1:9\", bypass \"<local>\", pac \"\"; "
            "to restore on exit: flags 1, server \"\", bypass \"\", pac \"\"");
  EXPECT_EQ(SetProxyLine(direct, true, std::nullopt),
            "setProxy applied flags 1, server \"\", bypass \"\", pac \"\"; nothing to restore on "
            "exit");
  EXPECT_EQ(SetProxyLine(blocking, false, std::nullopt),
            "setProxy could not apply flags 3, server \"127.0.0.1:9\", bypass \"<local>\", pac "
            "\"\"; nothing to restore on exit");
  const std::vector<std::pair<ProxyRestoreSource, std::string>> sources = {
      {ProxyRestoreSource::kQuit, "quit"},         {ProxyRestoreSource::kSessionEnd, "session end"},
      {ProxyRestoreSource::kTeardown, "teardown"}, {ProxyRestoreSource::kNextStart, "next start"},
      {ProxyRestoreSource::kGuard, "guard"},       {ProxyRestoreSource::kUninstall, "uninstall"},
  };
  for (const auto& [source, name] : sources) {
    EXPECT_EQ(ProxyRestoreLine(source, direct, true),
              "Proxy restored (" + name + "): flags 1, server \"\", bypass \"\", pac \"\"");
  }
  EXPECT_EQ(ProxyRestoreLine(ProxyRestoreSource::kGuard, blocking, false),
            "Proxy restore failed (guard): flags 3, server \"127.0.0.1:9\", bypass \"<local>\", "
            "pac \"\"");
}

// The value of the user's Keelo key, for real in the test prefix.
class DurableProxySnapshotTest : public ::testing::Test {
 protected:
  DurableProxySnapshotTest() {
    RemoveProxySnapshot();
    calls_.apply_options = [this](INTERNET_PER_CONN_OPTION_LISTW& list) {
      applied_.push_back(list.pOptions[1].Value.pszValue);
      return apply_succeeds_;
    };
  }

  RegistryValueGuard value_{kProxySnapshotKeyPath, kProxySnapshotValueName};
  ProxyCalls calls_;
  std::vector<std::wstring> applied_;
  bool apply_succeeds_ = true;
};

TEST_F(DurableProxySnapshotTest, IsOneStringValueThatComesBackAsWritten) {
  EXPECT_EQ(ReadProxySnapshot(), std::nullopt);
  const ProxySnapshot snapshot{11, ProxySettings{1, std::wstring(L"a\0b", 3), L"", L"pac"}};
  ASSERT_TRUE(SaveProxySnapshot(snapshot));
  DWORD type = REG_NONE;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kProxySnapshotKeyPath, kProxySnapshotValueName,
                         RRF_RT_ANY, &type, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(ReadProxySnapshotText(), EncodeProxySnapshot(snapshot));
  EXPECT_EQ(ReadProxySnapshot(), snapshot);

  ASSERT_TRUE(SaveProxySnapshot(kPlain));
  EXPECT_EQ(ReadProxySnapshot(), kPlain);
  EXPECT_TRUE(RemoveProxySnapshot());
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  EXPECT_TRUE(RemoveProxySnapshot());
}

TEST_F(DurableProxySnapshotTest, RestoreAppliesAnAcceptedSnapshotAndRemovesItWhateverTheResult) {
  const auto any = [](DWORD) { return true; };
  EXPECT_EQ(RestoreProxySnapshot(calls_, any), std::nullopt);
  EXPECT_TRUE(applied_.empty());

  ASSERT_TRUE(SaveProxySnapshot(kPlain));
  std::vector<DWORD> owners;
  EXPECT_EQ(RestoreProxySnapshot(calls_,
                                 [&](DWORD owner) {
                                   owners.push_back(owner);
                                   return false;
                                 }),
            std::nullopt);
  EXPECT_EQ(owners, std::vector<DWORD>{4242});
  EXPECT_TRUE(applied_.empty());
  EXPECT_EQ(ReadProxySnapshot(), kPlain);

  std::optional<RestoredProxySnapshot> restored = RestoreProxySnapshot(calls_, any);
  ASSERT_TRUE(restored.has_value());
  EXPECT_EQ(restored->settings, kPlain.settings);
  EXPECT_TRUE(restored->applied);
  EXPECT_EQ(applied_, std::vector<std::wstring>{L"proxy.lan:8080"});
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);

  // Not retried: gone after a failed apply too.
  ASSERT_TRUE(SaveProxySnapshot(kPlain));
  apply_succeeds_ = false;
  restored = RestoreProxySnapshot(calls_, any);
  ASSERT_TRUE(restored.has_value());
  EXPECT_FALSE(restored->applied);
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
}

TEST_F(DurableProxySnapshotTest, RestoreLeavesAValueItCannotReadOrOneWrittenMeanwhile) {
  const auto any = [](DWORD) { return true; };
  const wchar_t later[] = L"v2 owner=1 flags=1 server=0: bypass=0: pac=0: next=0:";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kProxySnapshotKeyPath, kProxySnapshotValueName,
                            REG_SZ, later, sizeof(later)),
            ERROR_SUCCESS);
  EXPECT_EQ(RestoreProxySnapshot(calls_, any), std::nullopt);
  EXPECT_EQ(ReadProxySnapshotText(), std::wstring(later));
  EXPECT_TRUE(applied_.empty());

  // A host writes its own snapshot while an older one is being put back: the newer one stays.
  const ProxySnapshot newer{5, ProxySettings{1, L"newer", L"", L""}};
  ASSERT_TRUE(SaveProxySnapshot(kPlain));
  calls_.apply_options = [&](INTERNET_PER_CONN_OPTION_LISTW&) { return SaveProxySnapshot(newer); };
  const std::optional<RestoredProxySnapshot> restored = RestoreProxySnapshot(calls_, any);
  ASSERT_TRUE(restored.has_value());
  EXPECT_EQ(restored->settings, kPlain.settings);
  EXPECT_EQ(ReadProxySnapshot(), newer);
}

}  // namespace
}  // namespace keelo::testing
