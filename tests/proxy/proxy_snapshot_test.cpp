#include "proxy/proxy_snapshot.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "common/shared_names.h"
#include "proxy/durable_proxy_snapshot.h"
#include "proxy/proxy_log_lines.h"
#include "proxy/sign_in_repair.h"
#include "tests/support/proxy_registry.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {
namespace {

const ProxySnapshot kPlain = {{4242, 134411728657357840},
                              ProxySettings{3, L"proxy.lan:8080", L"<local>", L""},
                              ProxySettings{2, L"127.0.0.1:9", L"", L""}};

TEST(ProxySnapshotCodecTest, WritesEveryFieldInItsVersionedForm) {
  EXPECT_EQ(EncodeProxySnapshot(kPlain),
            L"v2 owner=4242 created=134411728657357840 flags=3 server=14:proxy.lan:8080 "
            L"bypass=7:<local> pac=0: applied flags=2 server=11:127.0.0.1:9 bypass=0: pac=0:");
  EXPECT_EQ(DecodeProxySnapshot(EncodeProxySnapshot(kPlain)), kPlain);
  const ProxySnapshot unknown{{7, 1}, ProxySettings{}, std::nullopt};
  EXPECT_EQ(EncodeProxySnapshot(unknown),
            L"v2 owner=7 created=1 flags=1 server=0: bypass=0: pac=0: applied unknown");
  EXPECT_EQ(DecodeProxySnapshot(EncodeProxySnapshot(unknown)), unknown);
}

// Written by older hosts, whose snapshot may still be on disk after an update: read with the
// creation time and the applied settings not known.
TEST(ProxySnapshotCodecTest, ReadsTheFirstVersionAsItsHostsWroteIt) {
  EXPECT_EQ(DecodeProxySnapshot(L"v1 owner=4242 flags=3 server=14:proxy.lan:8080 bypass=7:<local> "
                                L"pac=0:"),
            (ProxySnapshot{
                {4242, 0}, ProxySettings{3, L"proxy.lan:8080", L"<local>", L""}, std::nullopt}));
  const std::wstring first = L"v1 owner=1 flags=1 server=0: bypass=0: pac=3:a b";
  for (size_t length = 0; length < first.size(); ++length) {
    EXPECT_EQ(DecodeProxySnapshot(first.substr(0, length)), std::nullopt) << length;
  }
  EXPECT_EQ(DecodeProxySnapshot(first + L" applied unknown"), std::nullopt);
  EXPECT_EQ(DecodeProxySnapshot(L"v1 owner=1 created=2 flags=1 server=0: bypass=0: pac=0:"),
            std::nullopt);
}

// The texts come from the UI application: whatever they hold, the lengths keep them apart.
TEST(ProxySnapshotCodecTest, AnyTextComesBackWhole) {
  const std::vector<ProxySnapshot> snapshots = {
      {{0, 0}, ProxySettings{0, L"", L"", L""}, std::nullopt},
      {{4294967295u, 18446744073709551615u},
       ProxySettings{4294967295u, L" pac=3:abc", L"a bypass=1:x", L"http://p/?a=1 b"},
       ProxySettings{0, L" applied unknown", L"", L" applied flags=1"}},
      {{7, 3},
       ProxySettings{9, std::wstring(L"nul\0inside", 10), L"\U0001F600 \x00E9", L"12:"},
       ProxySettings{9, std::wstring(L"\0", 1), L"", L""}},
      {{8, 9}, ProxySettings{1, std::wstring(40000, L's'), L";", L"\r\n"}, std::nullopt},
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
           L"v3 owner=1 created=2 flags=1 server=0: bypass=0: pac=0: applied unknown",
           L"V2 owner=1 created=2 flags=1 server=0: bypass=0: pac=0: applied unknown",
           L"V1 owner=1 flags=1 server=0: bypass=0: pac=0:",
           // The second version without its creation time or its applied settings.
           L"v2 owner=1 flags=1 server=0: bypass=0: pac=0: applied unknown",
           L"v2 owner=1 created=2 flags=1 server=0: bypass=0: pac=0:",
           L"v2 owner=1 created=2 flags=1 server=0: bypass=0: pac=0: applied",
           L"v2 owner=1 created=2 flags=1 server=0: bypass=0: pac=0: applied unknown ",
           L"v2 owner=1 created=18446744073709551616 flags=1 server=0: bypass=0: pac=0: applied "
           L"unknown",
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
      {ProxyRestoreSource::kQuit, "quit"},
      {ProxyRestoreSource::kSessionEnd, "session end"},
      {ProxyRestoreSource::kCloseApp, "close app"},
      {ProxyRestoreSource::kTeardown, "teardown"},
      {ProxyRestoreSource::kNextStart, "next start"},
      {ProxyRestoreSource::kGuard, "guard"},
      {ProxyRestoreSource::kSignIn, "sign-in"},
      {ProxyRestoreSource::kUninstall, "uninstall"},
  };
  for (const auto& [source, name] : sources) {
    EXPECT_EQ(ProxyRestoreLine(source, ProxyRestoreOutcome{direct, true, std::nullopt}),
              "Proxy restored (" + name + "): flags 1, server \"\", bypass \"\", pac \"\"");
  }
  EXPECT_EQ(ProxyRestoreLine(ProxyRestoreSource::kGuard,
                             ProxyRestoreOutcome{blocking, false, std::nullopt}),
            "Proxy restore failed (guard): flags 3, server \"127.0.0.1:9\", bypass \"<local>\", "
            "pac \"\"");
  EXPECT_EQ(
      ProxyRestoreLine(ProxyRestoreSource::kQuit,
                       ProxyRestoreOutcome{direct, false, ProxySettings{2, L"vpn:1", L"", L""}}),
      "Proxy left as someone else set it (quit): flags 2, server \"vpn:1\", bypass \"\", pac "
      "\"\"; not restored: flags 1, server \"\", bypass \"\", pac \"\"");
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
    // What is in force: the server |in_force_|, the rest empty, as Wine keeps it.
    calls_.query_options = [this](INTERNET_PER_CONN_OPTION_LISTW& list) {
      ++queries_;
      list.pOptions[0].Value.dwValue = 2;
      for (DWORD i = 1; i < 4; ++i) {
        const std::wstring text = i == 1 ? in_force_ : L"";
        auto* copy = static_cast<LPWSTR>(GlobalAlloc(GMEM_FIXED, (text.size() + 1) * 2));
        std::wcscpy(copy, text.c_str());
        list.pOptions[i].Value.pszValue = copy;
      }
      return true;
    };
  }

  const ProxySnapshotGuard values_;
  ProxyCalls calls_;
  std::vector<std::wstring> applied_;
  bool apply_succeeds_ = true;
  std::wstring in_force_ = L"127.0.0.1:9";
  int queries_ = 0;
};

TEST_F(DurableProxySnapshotTest, IsOneStringValueThatComesBackAsWritten) {
  EXPECT_EQ(ReadProxySnapshot(), std::nullopt);
  const ProxySnapshot snapshot{
      {11, 12}, ProxySettings{1, std::wstring(L"a\0b", 3), L"", L"pac"}, std::nullopt};
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
  // The repair at sign-in goes with the snapshot.
  ASSERT_TRUE(AddSignInRepair(L"C:\\Keelo\\keelo_proxy_guard.exe"));
  EXPECT_EQ(SignInRepairEntry(),
            std::optional<std::wstring>(L"\"C:\\Keelo\\keelo_proxy_guard.exe\" --restore-only"));
  EXPECT_TRUE(RemoveProxySnapshot());
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  EXPECT_EQ(SignInRepairEntry(), std::nullopt);
  EXPECT_TRUE(RemoveProxySnapshot());
}

TEST_F(DurableProxySnapshotTest, RestoreAppliesAnAcceptedSnapshotAndRemovesItWhateverTheResult) {
  const auto any = [](const ProcessIdentity&) { return true; };
  EXPECT_EQ(RestoreProxySnapshot(calls_, any), std::nullopt);
  EXPECT_TRUE(applied_.empty());

  ASSERT_TRUE(SaveProxySnapshot(kPlain));
  std::vector<ProcessIdentity> owners;
  EXPECT_EQ(RestoreProxySnapshot(calls_,
                                 [&](const ProcessIdentity& owner) {
                                   owners.push_back(owner);
                                   return false;
                                 }),
            std::nullopt);
  EXPECT_EQ(owners, std::vector<ProcessIdentity>{kPlain.owner});
  EXPECT_TRUE(applied_.empty());
  EXPECT_EQ(ReadProxySnapshot(), kPlain);

  std::optional<ProxyRestoreOutcome> restored = RestoreProxySnapshot(calls_, any);
  ASSERT_TRUE(restored.has_value());
  EXPECT_EQ(restored->snapshot, kPlain.settings);
  EXPECT_TRUE(restored->applied);
  EXPECT_EQ(restored->changed_by_others, std::nullopt);
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
  const auto any = [](const ProcessIdentity&) { return true; };
  const wchar_t later[] =
      L"v3 owner=1 created=2 flags=1 server=0: bypass=0: pac=0: applied unknown next=0:";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kProxySnapshotKeyPath, kProxySnapshotValueName,
                            REG_SZ, later, sizeof(later)),
            ERROR_SUCCESS);
  EXPECT_EQ(RestoreProxySnapshot(calls_, any), std::nullopt);
  EXPECT_EQ(ReadProxySnapshotText(), std::wstring(later));
  EXPECT_TRUE(applied_.empty());

  // A host writes its own snapshot while an older one is being put back: the newer one stays.
  const ProxySnapshot newer{{5, 6}, ProxySettings{1, L"newer", L"", L""}, std::nullopt};
  ASSERT_TRUE(SaveProxySnapshot(kPlain));
  calls_.apply_options = [&](INTERNET_PER_CONN_OPTION_LISTW&) { return SaveProxySnapshot(newer); };
  const std::optional<ProxyRestoreOutcome> restored = RestoreProxySnapshot(calls_, any);
  ASSERT_TRUE(restored.has_value());
  EXPECT_EQ(restored->snapshot, kPlain.settings);
  EXPECT_EQ(ReadProxySnapshot(), newer);
}

// A proxy someone else set after the host applied its own stays, and the snapshot goes all the
// same: nothing is left for a later restorer to put back over it.
TEST_F(DurableProxySnapshotTest, RestoreLeavesAProxySomeoneElseSetAndForgetsTheSnapshot) {
  const auto any = [](const ProcessIdentity&) { return true; };
  in_force_ = L"vpn.example:8443";
  ASSERT_TRUE(SaveProxySnapshot(kPlain));
  const std::optional<ProxyRestoreOutcome> restored = RestoreProxySnapshot(calls_, any);
  ASSERT_TRUE(restored.has_value());
  EXPECT_FALSE(restored->applied);
  EXPECT_EQ(restored->changed_by_others, (ProxySettings{2, L"vpn.example:8443", L"", L""}));
  EXPECT_TRUE(applied_.empty());
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
}

// Left by an older host: put back as that host's restorers did, whatever is in force, and once.
TEST_F(DurableProxySnapshotTest, FirstVersionIsPutBackOnceWhateverIsInForce) {
  const auto any = [](const ProcessIdentity&) { return true; };
  in_force_ = L"vpn.example:8443";
  const wchar_t first[] = L"v1 owner=4242 flags=1 server=6:before bypass=0: pac=0:";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kProxySnapshotKeyPath, kProxySnapshotValueName,
                            REG_SZ, first, sizeof(first)),
            ERROR_SUCCESS);
  const std::optional<ProxyRestoreOutcome> restored = RestoreProxySnapshot(calls_, any);
  ASSERT_TRUE(restored.has_value());
  EXPECT_TRUE(restored->applied);
  EXPECT_EQ(restored->snapshot, (ProxySettings{1, L"before", L"", L""}));
  EXPECT_EQ(applied_, std::vector<std::wstring>{L"before"});
  EXPECT_EQ(queries_, 0);
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  EXPECT_EQ(RestoreProxySnapshot(calls_, any), std::nullopt);
  EXPECT_EQ(applied_.size(), 1u);
}

}  // namespace
}  // namespace keelo::testing
