#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "installer/actions/proxy_left_behind.h"
#include "installer/actions/run_value.h"
#include "installer/actions/running_keelo.h"
#include "proxy/durable_proxy_snapshot.h"
#include "proxy/proxy_calls.h"
#include "proxy/proxy_settings.h"
#include "tests/e2e/host_process.h"
#include "tests/installer/installer_fixture.h"
#include "tests/support/host_bundle.h"
#include "tests/support/host_names.h"
#include "tests/support/proxy_registry.h"
#include "tests/support/registry_text.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {
namespace {

constexpr wchar_t kFolder[] = L"C:\\Users\\Ann\\AppData\\Local\\Programs\\Keelo";

std::optional<std::wstring> StoredRunValue() {
  return ReadRegistryText(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName);
}

TEST(IsProgramInTest, ProgramDirectlyInTheFolderWhateverTheCaseAndClosingBackslash) {
  EXPECT_TRUE(IsProgramIn(std::wstring(kFolder) + L"\\keelo_app.exe", kFolder));
  EXPECT_TRUE(
      IsProgramIn(std::wstring(kFolder) + L"\\keelo_app.exe", std::wstring(kFolder) + L"\\"));
  EXPECT_TRUE(
      IsProgramIn(L"c:\\users\\ANN\\appdata\\local\\programs\\KEELO\\Keelo_App.EXE", kFolder));
}

TEST(IsProgramInTest, ProgramElsewhereIsNotIn) {
  // A sibling whose name begins like the folder's.
  EXPECT_FALSE(IsProgramIn(std::wstring(kFolder) + L"2\\keelo_app.exe", kFolder));
  EXPECT_FALSE(IsProgramIn(std::wstring(kFolder) + L"\\data\\keelo_app.exe", kFolder));
  EXPECT_FALSE(IsProgramIn(L"C:\\Users\\Ann\\AppData\\Local\\Programs\\keelo_app.exe", kFolder));
  EXPECT_FALSE(IsProgramIn(L"keelo_app.exe", kFolder));
  EXPECT_FALSE(IsProgramIn(std::wstring(kFolder) + L"\\", kFolder));
  EXPECT_FALSE(IsProgramIn(L"", kFolder));
}

TEST(IsProgramInTest, NoFolderHoldsNoProgram) {
  EXPECT_FALSE(IsProgramIn(L"\\keelo_app.exe", L""));
  EXPECT_FALSE(IsProgramIn(L"\\keelo_app.exe", L"\\"));
}

TEST(RunValueTest, ReadGivesTheStringAndNothingForAnotherType) {
  const RegistryValueGuard guard(kRunKeyPath, kRunValueName);
  guard.Delete();
  EXPECT_EQ(ReadRunValue(), std::nullopt);
  const std::wstring data = L"\"C:\\Keelo\\keelo_app.exe\" --minimized";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, REG_SZ, data.c_str(),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  EXPECT_EQ(ReadRunValue(), std::optional<std::wstring>(data));
  ASSERT_EQ(guard.SetDword(1), ERROR_SUCCESS);
  EXPECT_EQ(ReadRunValue(), std::nullopt);
}

TEST(RunValueTest, RestoreWritesTheStringOnlyWhereNoValueIs) {
  const RegistryValueGuard guard(kRunKeyPath, kRunValueName);
  guard.Delete();
  EXPECT_TRUE(RestoreRunValue(L"\"C:\\Keelo\\keelo_app.exe\" --minimized"));
  EXPECT_EQ(StoredRunValue(),
            std::optional<std::wstring>(L"\"C:\\Keelo\\keelo_app.exe\" --minimized"));
  EXPECT_TRUE(RestoreRunValue(L"\"C:\\Other\\keelo_app.exe\" --minimized"));
  EXPECT_EQ(StoredRunValue(),
            std::optional<std::wstring>(L"\"C:\\Keelo\\keelo_app.exe\" --minimized"));
}

TEST(RunValueTest, RemoveTakesTheValueAndItsSwitchAndSucceedsWhenNothingIsLeft) {
  const RegistryValueGuard guard(kRunKeyPath, kRunValueName);
  const RegistryValueGuard approval(kStartupApprovedKeyPath, kRunValueName);
  ASSERT_EQ(guard.SetDword(1), ERROR_SUCCESS);
  // As Task Manager leaves it when the user switched the entry off.
  ASSERT_EQ(approval.SetBinary({0x03, 0, 0, 0, 0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0x01}),
            ERROR_SUCCESS);
  EXPECT_TRUE(RemoveStartAtSignIn());
  EXPECT_FALSE(StoredRunValue().has_value());
  EXPECT_NE(RegGetValueW(HKEY_CURRENT_USER, kStartupApprovedKeyPath, kRunValueName, RRF_RT_ANY,
                         nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_TRUE(RemoveStartAtSignIn());
}

TEST(QuitKeeloRunningFromTest, OnlyTheHostOfTheFolderIsAskedAndItEndsWithZero) {
  // The product's staged bundle runs without the development kit's driver.
  const std::unique_ptr<ChildProcess> host =
      StartHostProcess(HostIn(ProductBundle()), L"--minimized", ProductBundle());
  ASSERT_NE(host, nullptr);
  ASSERT_NE(WaitForHostWindow(host->id(), kStartTimeoutMs), nullptr) << host->Output();

  EXPECT_TRUE(QuitKeeloRunningFrom(InstallDirectory(), kStartTimeoutMs).empty());
  EXPECT_FALSE(host->WaitForExit(0).has_value());

  EXPECT_EQ(QuitKeeloRunningFrom(ProductBundle(), kStartTimeoutMs), std::vector<DWORD>{host->id()});
  // The call waited for it.
  EXPECT_EQ(host->WaitForExit(0), std::optional<DWORD>(0)) << host->Output();
}

// The prefix's proxy and the snapshot value, put back after each test.
class ProxyLeftBehindTest : public ::testing::Test {
 protected:
  ProxyLeftBehindTest() {
    RemoveProxySnapshot();
    EXPECT_TRUE(ApplyProxySettings({3, L"127.0.0.1:9", L"", L""}, ProxyCalls::Real()));
  }
  ~ProxyLeftBehindTest() override { ApplyProxySettings(ProxySettings{}, ProxyCalls::Real()); }

  static std::wstring ProxyServer() { return ReadRegistryProxy().server; }

  const ProxyRegistryGuard proxy_values_;
  RegistryValueGuard snapshot_{kProxySnapshotKeyPath, kProxySnapshotValueName};
};

TEST_F(ProxyLeftBehindTest, OnlyTheSnapshotOfAHostThatEndedIsPutBack) {
  // This process runs, as a host from another folder would: its snapshot stays with it.
  const ProxySnapshot held{GetCurrentProcessId(), ProxySettings{1, L"still:held", L"", L""}};
  ASSERT_TRUE(SaveProxySnapshot(held));
  EXPECT_FALSE(RestoreSnapshotLeftBehind().has_value());
  EXPECT_EQ(ReadProxySnapshot(), held);
  EXPECT_EQ(ProxyServer(), L"127.0.0.1:9");

  // No process has the id 0: a host that has ended.
  ASSERT_TRUE(SaveProxySnapshot({0, ProxySettings{1, L"before:uninstall", L"", L""}}));
  const std::optional<RestoredProxySnapshot> restored = RestoreSnapshotLeftBehind();
  ASSERT_TRUE(restored.has_value());
  EXPECT_TRUE(restored->applied);
  EXPECT_EQ(restored->settings, (ProxySettings{1, L"before:uninstall", L"", L""}));
  EXPECT_EQ(ProxyServer(), L"before:uninstall");
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
}

// A guard keeps its executable open until its host's snapshot goes.
TEST_F(ProxyLeftBehindTest, WaitingForTheGuardsOfAFolderEndsWithTheirSnapshot) {
  ASSERT_TRUE(SaveProxySnapshot({GetCurrentProcessId(), ProxySettings{}}));
  const std::unique_ptr<ChildProcess> guard = ChildProcess::Start(
      ProductBundle() + L"\\" + kProxyGuardExecutable, std::to_wstring(GetCurrentProcessId()));
  ASSERT_NE(guard, nullptr) << GetLastError();
  ASSERT_TRUE(WaitUntil(
      [&] {
        const ScopedHandle watching(
            OpenMutexW(SYNCHRONIZE, FALSE, ProxyGuardMutexName(GetCurrentProcessId()).c_str()));
        return static_cast<bool>(watching);
      },
      kStartTimeoutMs));

  // Another folder's guards are not waited for; this one's are, until the timeout.
  WaitForProxyGuardsIn(InstallDirectory(), kStartTimeoutMs);
  EXPECT_EQ(WaitForSingleObject(guard->handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  WaitForProxyGuardsIn(ProductBundle(), 100);
  EXPECT_EQ(WaitForSingleObject(guard->handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

  ASSERT_TRUE(RemoveProxySnapshot());
  WaitForProxyGuardsIn(ProductBundle(), kStartTimeoutMs);
  EXPECT_EQ(WaitForSingleObject(guard->handle(), 0), static_cast<DWORD>(WAIT_OBJECT_0));
}

}  // namespace
}  // namespace keelo::testing
