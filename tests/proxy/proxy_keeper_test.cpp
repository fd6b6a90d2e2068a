#include "proxy/proxy_keeper.h"

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <wininet.h>

#include <chrono>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "common/log_file.h"
#include "common/process_ending.h"
#include "common/shared_names.h"
#include "proxy/durable_proxy_snapshot.h"
#include "tests/support/local_app_data.h"
#include "tests/support/proxy_registry.h"

namespace keelo::testing {
namespace {

const ProxySettings kBlocking = {3, L"127.0.0.1:9", L"<local>", L""};
const ProxySettings kUsers = {3, L"corp:8080", L"*.corp", L""};
const ProxySettings kOther = {1, L"", L"", L""};
// What WinINet reads back after kBlocking under Wine: flags 3 as 2, no bypass.
const ProxySettings kBlockingAsKept = {2, L"127.0.0.1:9", L"", L""};
// A VPN client's, set while Keelo's was in force.
const ProxySettings kVpn = {2, L"vpn.example:8443", L"", L""};

LPWSTR GlobalText(const std::wstring& text) {
  auto* copy = static_cast<LPWSTR>(GlobalAlloc(GMEM_FIXED, (text.size() + 1) * sizeof(wchar_t)));
  std::wcscpy(copy, text.c_str());
  return copy;
}

// A keeper on WinINet behind the seam, with the snapshot's value and the repair at sign-in of
// the test prefix for real.
class ProxyKeeperTest : public ::testing::Test {
 protected:
  ProxyKeeperTest() { RemoveProxySnapshot(); }

  ProxyCalls Calls() {
    ProxyCalls calls;
    calls.apply_options = [this](INTERNET_PER_CONN_OPTION_LISTW& list) {
      applied_.push_back(list.pOptions[1].Value.pszValue);
      on_disk_at_apply_.push_back(ReadProxySnapshot());
      if (apply_succeeds_) in_force_ = as_kept_.value_or(kOther);
      return apply_succeeds_;
    };
    // Answers with what is in force, as WinINet would.
    calls.query_options = [this](INTERNET_PER_CONN_OPTION_LISTW& list) {
      if (!query_succeeds_) return false;
      list.pOptions[0].Value.dwValue = in_force_.flags;
      list.pOptions[1].Value.pszValue = GlobalText(in_force_.server);
      list.pOptions[2].Value.pszValue = GlobalText(in_force_.bypass);
      list.pOptions[3].Value.pszValue = GlobalText(in_force_.autoconfig_url);
      return true;
    };
    calls.guard_snapshot = [this](bool on_disk) { guarded_.push_back(on_disk); };
    return calls;
  }

  std::vector<std::string> Logged() {
    EXPECT_TRUE(log_.Flush(std::chrono::seconds(10)));
    return LoggedTexts(LogFilePath(local_.KeeloFolder(L"logs"), 0));
  }

  const ProxySnapshotGuard snapshot_values_;
  const TemporaryLocalAppData local_;
  LogFile log_{local_.KeeloFolder(L"logs")};
  const ProcessLogScope log_scope_{&log_};
  // The server of each apply, in order, and the snapshot on disk as each found it.
  std::vector<std::wstring> applied_;
  std::vector<std::optional<ProxySnapshot>> on_disk_at_apply_;
  // What the guard's seam was told, in order.
  std::vector<bool> guarded_;
  bool apply_succeeds_ = true;
  bool query_succeeds_ = true;
  // What a query finds in force; an apply puts |as_kept_| (or kOther) there.
  ProxySettings in_force_ = kOther;
  std::optional<ProxySettings> as_kept_ = kBlockingAsKept;
};

TEST_F(ProxyKeeperTest, KeepsWhatToPutBackOnlyOnSuccessAndPutsItBackOnce) {
  ProxyKeeper keeper(Calls());
  const ProxySnapshot kept{CurrentProcessIdentity(), kUsers, kBlockingAsKept};
  ASSERT_TRUE(keeper.Apply(kBlocking, kUsers));
  EXPECT_EQ(keeper.to_restore(), kUsers);
  EXPECT_EQ(ReadProxySnapshot(), kept);
  EXPECT_EQ(guarded_, std::vector<bool>{true});

  // A failed apply leaves the earlier snapshot, in memory and on disk.
  apply_succeeds_ = false;
  EXPECT_FALSE(keeper.Apply(kBlocking, kOther));
  EXPECT_EQ(keeper.to_restore(), kUsers);
  EXPECT_EQ(ReadProxySnapshot(), kept);

  // Put back once, even when WinINet refuses it, and forgotten on disk too.
  applied_.clear();
  keeper.RestoreProxyIfSaved(ProxyRestoreSource::kQuit);
  keeper.RestoreProxyIfSaved(ProxyRestoreSource::kTeardown);
  EXPECT_EQ(applied_, std::vector<std::wstring>{L"corp:8080"});
  EXPECT_EQ(keeper.to_restore(), std::nullopt);
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  EXPECT_EQ(guarded_.back(), false);

  // A successful apply without a snapshot forgets the one there was; nothing goes back after.
  apply_succeeds_ = true;
  ASSERT_TRUE(keeper.Apply(kBlocking, kUsers));
  EXPECT_EQ(guarded_.back(), true);
  ASSERT_TRUE(keeper.Apply(kOther, std::nullopt));
  EXPECT_EQ(keeper.to_restore(), std::nullopt);
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  EXPECT_EQ(guarded_.back(), false);
  applied_.clear();
  keeper.RestoreProxyIfSaved(ProxyRestoreSource::kTeardown);
  EXPECT_TRUE(applied_.empty());
}

// The snapshot is on disk before the apply with the applied settings not known yet (a host
// killed in between leaves settings that are then put back whatever is in force), and with
// them as WinINet read them back once the apply is done. The repair at sign-in goes with it.
TEST_F(ProxyKeeperTest, SnapshotRecordsTheAppliedSettingsAsReadBackAndTheRepairAtSignIn) {
  ProxyKeeper keeper(Calls());
  ASSERT_TRUE(keeper.Apply(kBlocking, kUsers));
  ASSERT_EQ(on_disk_at_apply_.size(), 1u);
  EXPECT_EQ(on_disk_at_apply_[0], (ProxySnapshot{CurrentProcessIdentity(), kUsers, std::nullopt}));
  EXPECT_EQ(ReadProxySnapshot(),
            (ProxySnapshot{CurrentProcessIdentity(), kUsers, kBlockingAsKept}));
  const std::optional<std::wstring> repair = SignInRepairEntry();
  ASSERT_TRUE(repair.has_value());
  EXPECT_NE(repair->find(std::wstring(L"\\") + kProxyGuardExecutable + L"\" --restore-only"),
            std::wstring::npos)
      << *repair;

  // Read back unsuccessfully: not known, so put back whatever is in force.
  query_succeeds_ = false;
  ASSERT_TRUE(keeper.Apply(kBlocking, kUsers));
  EXPECT_EQ(ReadProxySnapshot(), (ProxySnapshot{CurrentProcessIdentity(), kUsers, std::nullopt}));

  keeper.RestoreProxyIfSaved(ProxyRestoreSource::kQuit);
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  EXPECT_EQ(SignInRepairEntry(), std::nullopt);
}

// Every restorer of the host puts the user's settings back only while Keelo's are still in
// force: a proxy set since by someone else (the user in Settings, a VPN client) stays, and the
// log says so once.
TEST_F(ProxyKeeperTest, PutsBackOnlyWhileWhatKeeloAppliedIsInForce) {
  struct Case {
    const char* name;
    // What Keelo's apply was read back as; nothing: the read failed.
    std::optional<ProxySettings> read_back;
    // Set by someone else after Keelo's apply; nothing: nobody.
    std::optional<ProxySettings> changed_to;
    // Whether the query at restore time works.
    bool query_at_restore;
    bool put_back;
  };
  const Case cases[] = {
      {"nobody changed it", kBlockingAsKept, std::nullopt, true, true},
      {"a VPN set its own", kBlockingAsKept, kVpn, true, false},
      {"the user switched it off", kBlockingAsKept, kOther, true, false},
      {"set back to what Keelo applied", kBlockingAsKept, kBlockingAsKept, true, true},
      {"not known what Keelo applied", std::nullopt, kVpn, true, true},
      {"not known what is in force", kBlockingAsKept, kVpn, false, true},
  };
  const std::string users = "flags 3, server \"corp:8080\", bypass \"*.corp\", pac \"\"";
  std::vector<std::string> expected_lines;
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    ProxyKeeper keeper(Calls());
    query_succeeds_ = test.read_back.has_value();
    as_kept_ = test.read_back;
    ASSERT_TRUE(keeper.Apply(kBlocking, kUsers));
    query_succeeds_ = test.query_at_restore;
    if (test.changed_to) in_force_ = *test.changed_to;
    const ProxySettings before = in_force_;
    applied_.clear();
    keeper.RestoreProxyIfSaved(ProxyRestoreSource::kSessionEnd);
    EXPECT_EQ(applied_, test.put_back ? std::vector<std::wstring>{L"corp:8080"}
                                      : std::vector<std::wstring>{});
    if (!test.put_back) {
      EXPECT_EQ(in_force_, before);
    }
    // Forgotten either way, on disk too: nothing will try again later.
    EXPECT_EQ(keeper.to_restore(), std::nullopt);
    EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
    EXPECT_EQ(SignInRepairEntry(), std::nullopt);
    expected_lines.push_back(
        "setProxy applied flags 3, server \"127.0.0.1:9\", bypass \"<local>\", pac \"\"; to "
        "restore on exit: " +
        users);
    expected_lines.push_back(test.put_back
                                 ? "Proxy restored (session end): " + users
                                 : "Proxy left as someone else set it (session end): " +
                                       DescribeProxySettings(before) + "; not restored: " + users);
  }
  EXPECT_EQ(Logged(), expected_lines);
}

// Once the session ends (the system may then end the process without any teardown) or the
// process is dying, a change would be one that nothing puts back.
TEST_F(ProxyKeeperTest, ChangesNothingOnceClosedOrWhileTheProcessIsDying) {
  for (const bool dying : {false, true}) {
    SCOPED_TRACE(dying ? "dying" : "closed");
    ProxyKeeper keeper(Calls());
    ASSERT_TRUE(keeper.Apply(kBlocking, kUsers));
    keeper.RestoreProxyIfSaved(ProxyRestoreSource::kSessionEnd);
    if (dying) {
      MarkProcessEnding();
    } else {
      keeper.Close();
    }
    applied_.clear();
    guarded_.clear();
    EXPECT_FALSE(keeper.Apply(kBlocking, kUsers));
    ProcessEndingFlag().store(false);
    EXPECT_TRUE(applied_.empty());
    EXPECT_TRUE(guarded_.empty());
    EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
    EXPECT_EQ(keeper.to_restore(), std::nullopt);
  }
  const std::vector<std::string> logged = Logged();
  ASSERT_FALSE(logged.empty());
  EXPECT_EQ(logged.back(),
            "setProxy refused, the host is ending: flags 3, server \"127.0.0.1:9\", bypass "
            "\"<local>\", pac \"\"");
}

}  // namespace
}  // namespace keelo::testing
