#include "proxy/proxy_keeper.h"

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <wininet.h>

#include <optional>
#include <string>
#include <vector>

#include "common/shared_names.h"
#include "proxy/durable_proxy_snapshot.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {
namespace {

const ProxySettings kBlocking = {3, L"127.0.0.1:9", L"<local>", L""};
const ProxySettings kUsers = {3, L"corp:8080", L"*.corp", L""};
const ProxySettings kOther = {1, L"", L"", L""};

// A keeper on WinINet behind the seam, with the snapshot's value of the test prefix for real.
class ProxyKeeperTest : public ::testing::Test {
 protected:
  ProxyKeeperTest() { RemoveProxySnapshot(); }

  ProxyCalls Calls() {
    ProxyCalls calls;
    calls.apply_options = [this](INTERNET_PER_CONN_OPTION_LISTW& list) {
      applied_.push_back(list.pOptions[1].Value.pszValue);
      return apply_succeeds_;
    };
    calls.query_options = [](INTERNET_PER_CONN_OPTION_LISTW&) { return false; };
    calls.start_guard = [this] {
      ++guards_started_;
      return true;
    };
    return calls;
  }

  RegistryValueGuard snapshot_value_{kProxySnapshotKeyPath, kProxySnapshotValueName};
  // The server of each apply, in order.
  std::vector<std::wstring> applied_;
  bool apply_succeeds_ = true;
  int guards_started_ = 0;
};

TEST_F(ProxyKeeperTest, KeepsWhatToPutBackOnlyOnSuccessAndPutsItBackOnce) {
  ProxyKeeper keeper(Calls());
  const ProxySnapshot kept{GetCurrentProcessId(), kUsers};
  ASSERT_TRUE(keeper.Apply(kBlocking, kUsers));
  EXPECT_EQ(keeper.to_restore(), kUsers);
  EXPECT_EQ(ReadProxySnapshot(), kept);
  EXPECT_EQ(guards_started_, 1);

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

  // A successful apply without a snapshot forgets the one there was; nothing goes back after.
  apply_succeeds_ = true;
  ASSERT_TRUE(keeper.Apply(kBlocking, kUsers));
  EXPECT_EQ(guards_started_, 2);
  ASSERT_TRUE(keeper.Apply(kOther, std::nullopt));
  EXPECT_EQ(keeper.to_restore(), std::nullopt);
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  applied_.clear();
  keeper.RestoreProxyIfSaved(ProxyRestoreSource::kTeardown);
  EXPECT_TRUE(applied_.empty());
}

}  // namespace
}  // namespace keelo::testing
