#include "guard/proxy_guard.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/scoped_handles.h"
#include "common/shared_names.h"
#include "proxy/durable_proxy_snapshot.h"
#include "proxy/proxy_calls.h"
#include "proxy/proxy_settings.h"
#include "tests/support/fixtures.h"
#include "tests/support/local_app_data.h"
#include "tests/support/proxy_registry.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {
namespace {

const ProxySettings kBlockingProxy = {PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY, L"127.0.0.1:9", L"",
                                      L""};
constexpr DWORD kDeadlineMs = 2000;

std::wstring ProxyServer() { return ReadRegistryProxy().server; }

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start >= timeout_ms) return condition();
    Sleep(10);
  }
  return true;
}

bool GuardWatches(DWORD host_process_id) {
  const ScopedHandle mutex(
      OpenMutexW(SYNCHRONIZE, FALSE, ProxyGuardMutexName(host_process_id).c_str()));
  return static_cast<bool>(mutex);
}

// The guard's exit code once it has ended within the deadline; nothing while it still runs.
std::optional<DWORD> ExitCode(HANDLE guard, DWORD timeout_ms) {
  if (WaitForSingleObject(guard, timeout_ms) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(guard, &code);
  return code;
}

// keelo_proxy_guard.exe for real, watching a fixture program that stands in for the host, over
// the snapshot value and the WinINet settings of the test prefix.
class ProxyGuardTest : public ::testing::Test {
 protected:
  ProxyGuardTest() {
    RemoveProxySnapshot();
    host_ = FixtureProcess::Start(FixtureExecutable(L"fixture_plain.exe"), L"Keelo guard host");
  }
  ~ProxyGuardTest() override {
    // Ended while their host still runs: a guard that saw it end would put its snapshot back
    // over the reset below.
    guards_.clear();
    // Direct connection, whatever the test did.
    ApplyProxySettings(ProxySettings{}, ProxyCalls::Real());
  }

  // A guard for |host_process_id|; null when it could not be started.
  HANDLE StartGuard(DWORD host_process_id) {
    std::unique_ptr<ChildProcess> guard =
        ChildProcess::Start(WindowsPathOf(KEELO_PROXY_GUARD), std::to_wstring(host_process_id));
    if (guard == nullptr) return nullptr;
    guards_.push_back(std::move(guard));
    return guards_.back()->handle();
  }

  // The host's proxy in force and its snapshot on disk, as while a focus session runs.
  void BlockWithSnapshotOf(DWORD owner) {
    ASSERT_TRUE(ApplyProxySettings(kBlockingProxy, ProxyCalls::Real()));
    ASSERT_TRUE(SaveProxySnapshot({owner, ProxySettings{1, L"before:guard", L"", L""}}));
  }

  std::vector<std::string> Logged() const {
    return LoggedTexts(local_.KeeloFolder(L"logs") + L"\\keelo.log");
  }

  const TemporaryLocalAppData local_;
  const ProxyRegistryGuard proxy_values_;
  RegistryValueGuard snapshot_{kProxySnapshotKeyPath, kProxySnapshotValueName};
  std::unique_ptr<FixtureProcess> host_;
  std::vector<std::unique_ptr<ChildProcess>> guards_;
};

TEST(GuardedProcessIdTest, IsADecimalNumberAndNothingElse) {
  EXPECT_EQ(GuardedProcessId(L"4242"), std::optional<DWORD>(4242));
  EXPECT_EQ(GuardedProcessId(L"4294967295"), std::optional<DWORD>(4294967295u));
  for (const wchar_t* arguments :
       {L"", L"0", L"4294967296", L"99999999999", L"12a", L" 12", L"12 ", L"-1", L"+5", L"0x10"}) {
    EXPECT_EQ(GuardedProcessId(arguments), std::nullopt) << std::wstring(arguments).size();
  }
  EXPECT_EQ(GuardedProcessId(nullptr), std::nullopt);
}

TEST_F(ProxyGuardTest, PutsTheSnapshotBackWhenItsHostEndsAndWatchesAlone) {
  ASSERT_NE(host_, nullptr);
  BlockWithSnapshotOf(host_->id());
  const HANDLE guard = StartGuard(host_->id());
  ASSERT_NE(guard, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return GuardWatches(host_->id()); }, kDeadlineMs));

  // A second guard for the same host leaves at once.
  const HANDLE second = StartGuard(host_->id());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(ExitCode(second, kDeadlineMs), std::optional<DWORD>(0));
  EXPECT_EQ(ExitCode(guard, 0), std::nullopt);
  EXPECT_EQ(ProxyServer(), L"127.0.0.1:9");

  host_->Terminate();
  EXPECT_EQ(ExitCode(guard, kDeadlineMs), std::optional<DWORD>(0));
  EXPECT_EQ(ProxyServer(), L"before:guard");
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  EXPECT_EQ(Logged(), std::vector<std::string>{"Proxy restored (guard): flags 1, server "
                                               "\"before:guard\", bypass \"\", pac \"\""});
}

TEST_F(ProxyGuardTest, LeavesTheProxyAloneOnceTheSnapshotIsGoneOrNotItsHosts) {
  ASSERT_NE(host_, nullptr);
  // Put back by the host itself, which then removed it.
  BlockWithSnapshotOf(host_->id());
  HANDLE guard = StartGuard(host_->id());
  ASSERT_TRUE(WaitUntil([&] { return GuardWatches(host_->id()); }, kDeadlineMs));
  ASSERT_TRUE(RemoveProxySnapshot());
  EXPECT_EQ(ExitCode(guard, kDeadlineMs), std::optional<DWORD>(0));

  // Replaced by a later host's while watching: that one is not this guard's to put back.
  ASSERT_TRUE(SaveProxySnapshot({host_->id(), ProxySettings{1, L"before:guard", L"", L""}}));
  guard = StartGuard(host_->id());
  ASSERT_TRUE(WaitUntil([&] { return GuardWatches(host_->id()); }, kDeadlineMs));
  const ProxySnapshot later{host_->id() + 4, ProxySettings{1, L"later", L"", L""}};
  ASSERT_TRUE(SaveProxySnapshot(later));
  EXPECT_EQ(ExitCode(guard, kDeadlineMs), std::optional<DWORD>(0));

  // Another host's from the start.
  guard = StartGuard(host_->id());
  EXPECT_EQ(ExitCode(guard, kDeadlineMs), std::optional<DWORD>(0));

  host_->Terminate();
  EXPECT_EQ(ProxyServer(), L"127.0.0.1:9");
  EXPECT_EQ(ReadProxySnapshot(), later);
  EXPECT_TRUE(Logged().empty());
}

TEST_F(ProxyGuardTest, AHostThatEndedBeforeItsGuardWatchedStillGetsItsProxyBack) {
  ASSERT_NE(host_, nullptr);
  const DWORD ended = host_->id();
  BlockWithSnapshotOf(ended);
  host_->Terminate();
  const HANDLE guard = StartGuard(ended);
  EXPECT_EQ(ExitCode(guard, kDeadlineMs), std::optional<DWORD>(0));
  EXPECT_EQ(ProxyServer(), L"before:guard");
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
}

// A host that crashed says so before its dump is written, which takes seconds.
TEST_F(ProxyGuardTest, ADyingHostHasItsProxyBackBeforeItHasEnded) {
  ASSERT_NE(host_, nullptr);
  BlockWithSnapshotOf(host_->id());
  const ScopedHandle ending(
      CreateEventW(nullptr, TRUE, FALSE, HostEndingEventName(host_->id()).c_str()));
  ASSERT_TRUE(ending);
  const HANDLE guard = StartGuard(host_->id());
  ASSERT_TRUE(WaitUntil([&] { return GuardWatches(host_->id()); }, kDeadlineMs));
  EXPECT_EQ(ProxyServer(), L"127.0.0.1:9");
  SetEvent(ending.get());
  EXPECT_EQ(ExitCode(guard, kDeadlineMs), std::optional<DWORD>(0));
  EXPECT_EQ(ProxyServer(), L"before:guard");
  EXPECT_EQ(WaitForSingleObject(host_->handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
}  // namespace keelo::testing
