#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <msi.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devkit/driver/client/driver_client.h"
#include "devkit/driver/protocol/driver_config.h"
#include "messaging/encodable_value.h"
#include "proxy/durable_proxy_snapshot.h"
#include "proxy/proxy_calls.h"
#include "proxy/proxy_settings.h"
#include "tests/e2e/host_control.h"
#include "tests/e2e/host_process.h"
#include "tests/installer/installer_fixture.h"
#include "tests/support/host_bundle.h"
#include "tests/support/host_names.h"
#include "tests/support/proxy_registry.h"
#include "tests/support/registry_text.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {
namespace {

constexpr wchar_t kNewerRefused[] = L"A newer version of Keelo is already installed.";

std::wstring RunValueData() {
  return ReadRegistryText(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName).value_or(L"<missing>");
}

bool KeyExists(const wchar_t* key) {
  ScopedRegistryKey opened;
  return RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, opened.put()) == ERROR_SUCCESS;
}

// The visible dialog box of process |process_id|, once there is one; null after |timeout_ms|.
HWND WaitForDialog(DWORD process_id, DWORD timeout_ms) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        HWND candidate = nullptr;
        while ((candidate = FindWindowExW(nullptr, candidate, L"#32770", nullptr)) != nullptr) {
          DWORD owner = 0;
          GetWindowThreadProcessId(candidate, &owner);
          if (owner == process_id && IsWindowVisible(candidate)) found = candidate;
        }
        return found != nullptr;
      },
      timeout_ms);
  return found;
}

// The texts of a dialog's controls, one per line.
std::wstring DialogText(HWND dialog) {
  std::wstring text;
  for (HWND control = GetWindow(dialog, GW_CHILD); control != nullptr;
       control = GetWindow(control, GW_HWNDNEXT)) {
    wchar_t line[1024] = {};
    GetWindowTextW(control, line, 1024);
    text += std::wstring(line) + L"\n";
  }
  return text;
}

TEST_F(InstallerTest, InstallsEveryFileOfTheBundleForTheCurrentUser) {
  ASSERT_EQ(Install(ProductPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  ExpectInstalledFilesAre(ProductBundle());
  const DWORD assets = GetFileAttributesW((InstallDirectory() + L"\\data\\flutter_assets").c_str());
  EXPECT_TRUE(assets != INVALID_FILE_ATTRIBUTES && (assets & FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(InstallerTest, StartMenuShortcutKeeloPointsAtTheHostWithItsIcon) {
  ASSERT_EQ(Install(ProductPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  const std::optional<Shortcut> shortcut = ReadShortcut(StartMenuShortcut());
  ASSERT_TRUE(shortcut.has_value());
  EXPECT_TRUE(SamePath(shortcut->target, InstalledHost())) << shortcut->target;
  EXPECT_TRUE(SamePath(shortcut->working_directory, InstallDirectory()))
      << shortcut->working_directory;
  EXPECT_EQ(shortcut->arguments, L"");
  const std::vector<uint32_t> app_icon = IconPixels(InstalledHost(), 0);
  ASSERT_FALSE(app_icon.empty());
  EXPECT_TRUE(IconPixels(shortcut->icon_path, shortcut->icon_index) == app_icon)
      << shortcut->icon_path << "," << shortcut->icon_index;
}

TEST_F(InstallerTest, InstalledAppsListKeeloByVantrelWithItsVersionAndIcon) {
  ASSERT_EQ(Install(ProductPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  const std::wstring product = OnlyProduct();
  const std::wstring version = PackageProperty(ProductPackage(), L"ProductVersion");
  EXPECT_EQ(ProductInfo(product, INSTALLPROPERTY_INSTALLEDPRODUCTNAME), L"Keelo");
  EXPECT_EQ(ProductInfo(product, INSTALLPROPERTY_PUBLISHER), L"Vantrel");
  EXPECT_EQ(ProductInfo(product, INSTALLPROPERTY_VERSIONSTRING), version);
  EXPECT_TRUE(SamePath(ProductInfo(product, INSTALLPROPERTY_INSTALLLOCATION), InstallDirectory()));
  const std::wstring icon = ProductInfo(product, INSTALLPROPERTY_PRODUCTICON);
  const std::vector<uint32_t> app_icon = IconPixels(InstalledHost(), 0);
  ASSERT_FALSE(app_icon.empty());
  EXPECT_TRUE(IconPixels(icon, 0) == app_icon) << icon;

  const std::vector<UninstallEntry> entries = KeeloUninstallEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].key, product);
  EXPECT_EQ(entries[0].publisher, L"Vantrel");
  EXPECT_EQ(entries[0].version, version);
}

TEST_F(InstallerTest, HostStartsFromTheShortcutShowsItsWindowAndQuitsWithZero) {
  ASSERT_EQ(Install(ProductPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  const std::optional<Shortcut> shortcut = ReadShortcut(StartMenuShortcut());
  ASSERT_TRUE(shortcut.has_value());
  const std::unique_ptr<ChildProcess> host =
      StartHostProcess(shortcut->target, shortcut->arguments, shortcut->working_directory);
  ASSERT_NE(host, nullptr) << "CreateProcessW failed: " << GetLastError();
  const HWND window = WaitForHostWindow(host->id(), kStartTimeoutMs);
  ASSERT_NE(window, nullptr) << host->Output();
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window) != FALSE; }, kStartTimeoutMs));
  PostMessageW(window, RegisterWindowMessageW(kQuitMessageName), 0, 0);
  EXPECT_EQ(host->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0)) << host->Output();
}

TEST_F(InstallerTest, NewerPackageReplacesTheInstalledVersionInPlace) {
  ASSERT_EQ(Install(ProductPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  ASSERT_EQ(Install(NewerPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  ExpectInstalledFilesAre(NewerBundle());
  EXPECT_EQ(ProductInfo(OnlyProduct(), INSTALLPROPERTY_VERSIONSTRING), NewerVersion());
  const std::vector<UninstallEntry> entries = KeeloUninstallEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].version, NewerVersion());
  const std::optional<Shortcut> shortcut = ReadShortcut(StartMenuShortcut());
  ASSERT_TRUE(shortcut.has_value());
  EXPECT_TRUE(SamePath(shortcut->target, InstalledHost())) << shortcut->target;
}

TEST_F(InstallerTest, OlderPackageIsRefusedWithAMessageAndTheNewerStays) {
  ASSERT_EQ(Install(NewerPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  const std::wstring newer = OnlyProduct();

  EXPECT_EQ(Install(ProductPackage()), static_cast<DWORD>(ERROR_INSTALL_FAILURE));

  // With the basic interface, as a user would see it.
  const std::unique_ptr<Msiexec> msiexec = Msiexec::Start(L"/i \"" + ProductPackage() + L"\" /qb");
  ASSERT_NE(msiexec, nullptr);
  const HWND dialog = WaitForDialog(msiexec->id(), kStartTimeoutMs);
  ASSERT_NE(dialog, nullptr) << LastMsiexecLog();
  const std::wstring text = DialogText(dialog);
  EXPECT_NE(text.find(kNewerRefused), std::wstring::npos) << text;
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(msiexec->Wait(), static_cast<DWORD>(ERROR_INSTALL_FAILURE));

  EXPECT_EQ(OnlyProduct(), newer);
  ExpectInstalledFilesAre(NewerBundle());
}

TEST_F(InstallerTest, UninstallLeavesNothingBehindAfterTheHostTurnedOnStartAtSignIn) {
  const RegistryValueGuard run_value(kRunKeyPath, kRunValueName);
  run_value.Delete();
  const bool had_programs_folder = Exists(UserProgramsFolder());
  // The newer package carries the driver, through which the test asks the host as the UI would.
  ASSERT_EQ(Install(NewerPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  const std::wstring product = OnlyProduct();
  const std::wstring icon = ProductInfo(product, INSTALLPROPERTY_PRODUCTICON);
  ASSERT_TRUE(Exists(icon)) << icon;
  {
    std::string error;
    const std::unique_ptr<devkit::DriverClient> client = devkit::DriverClient::Create(&error);
    ASSERT_NE(client, nullptr) << error;
    const std::string channels = std::string(kDesktopChannel) + ";" + kUiChannel;
    SetEnvironmentVariableA(devkit::kPipeVariable, client->pipe_name().c_str());
    SetEnvironmentVariableA(devkit::kChannelsVariable, channels.c_str());
    const std::unique_ptr<ChildProcess> host =
        StartHostProcess(InstalledHost(), L"", InstallDirectory());
    SetEnvironmentVariableA(devkit::kPipeVariable, nullptr);
    SetEnvironmentVariableA(devkit::kChannelsVariable, nullptr);
    ASSERT_NE(host, nullptr);
    const auto hello = client->WaitForDriver(std::chrono::milliseconds(kStartTimeoutMs));
    ASSERT_TRUE(hello.ok()) << hello.error << "\nhost output:\n" << host->Output();
    const auto reply = client->InvokeMethod(
        kDesktopChannel, "setLaunchAtStartup",
        flutter::EncodableValue(flutter::EncodableMap{
            {flutter::EncodableValue("enabled"), flutter::EncodableValue(true)}}));
    ASSERT_TRUE(reply.ok()) << reply.error;
    EXPECT_EQ(reply.value.value, flutter::EncodableValue(true));
    EXPECT_EQ(RunValueData(), L"\"" + InstalledHost() + L"\" --minimized");
    const HWND window = WaitForHostWindow(host->id(), kStartTimeoutMs);
    ASSERT_NE(window, nullptr);
    AskHostToQuit(window);
    EXPECT_EQ(host->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0)) << host->Output();
  }

  ASSERT_EQ(Uninstall(product), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  EXPECT_FALSE(Exists(InstallDirectory()));
  EXPECT_EQ(Exists(UserProgramsFolder()), had_programs_folder);
  EXPECT_FALSE(Exists(StartMenuShortcut()));
  EXPECT_FALSE(Exists(icon)) << icon;
  EXPECT_TRUE(InstalledProducts().empty());
  EXPECT_TRUE(KeeloUninstallEntries().empty());
  EXPECT_EQ(RunValueData(), L"<missing>");
  EXPECT_FALSE(KeyExists(L"Software\\Vantrel\\Keelo"));
}

// A host that died together with its guard left the user's proxy pointing at its own, and no
// host will start again to put it back.
TEST_F(InstallerTest, UninstallPutsBackAProxyLeftBehind) {
  const ProxyRegistryGuard proxy_values;
  const RegistryValueGuard snapshot(kProxySnapshotKeyPath, kProxySnapshotValueName);
  ASSERT_EQ(Install(ProductPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  ASSERT_TRUE(ApplyProxySettings({3, L"127.0.0.1:9", L"", L""}, ProxyCalls::Real()));
  // No process has the id 0: the host that wrote it has ended.
  ASSERT_TRUE(SaveProxySnapshot({0, ProxySettings{1, L"before:uninstall", L"", L""}}));

  ASSERT_EQ(Uninstall(OnlyProduct()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  EXPECT_EQ(ReadRegistryProxy(), (RegistryProxy{0, L"before:uninstall"}))
      << Describe(ReadRegistryProxy());
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  EXPECT_FALSE(KeyExists(L"Software\\Vantrel\\Keelo"));
  EXPECT_NE(LastMsiexecLog().find("Keelo: Proxy restored (uninstall): flags 1, server "
                                  "\"before:uninstall\""),
            std::string::npos)
      << LastMsiexecLog();
  ApplyProxySettings(ProxySettings{}, ProxyCalls::Real());
}

TEST_F(InstallerTest, UninstallAsksTheRunningHostToQuitAndRemovesItsFiles) {
  ASSERT_EQ(Install(ProductPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  // Hidden in the tray, as it starts at sign-in.
  const std::unique_ptr<ChildProcess> host =
      StartHostProcess(InstalledHost(), L"--minimized", InstallDirectory());
  ASSERT_NE(host, nullptr);
  ASSERT_NE(WaitForHostWindow(host->id(), kStartTimeoutMs), nullptr) << host->Output();

  ASSERT_EQ(Uninstall(OnlyProduct()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  // Ended before the uninstall did: it waited for the host.
  EXPECT_EQ(host->WaitForExit(0), std::optional<DWORD>(0)) << host->Output();
  EXPECT_FALSE(Exists(InstallDirectory()));
}

TEST_F(InstallerTest, UpgradeAsksTheRunningHostToQuitAndReplacesItsFiles) {
  ASSERT_EQ(Install(ProductPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  const std::unique_ptr<ChildProcess> host =
      StartHostProcess(InstalledHost(), L"", InstallDirectory());
  ASSERT_NE(host, nullptr);
  ASSERT_NE(WaitForHostWindow(host->id(), kStartTimeoutMs), nullptr) << host->Output();

  ASSERT_EQ(Install(NewerPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  EXPECT_EQ(host->WaitForExit(0), std::optional<DWORD>(0)) << host->Output();
  ExpectInstalledFilesAre(NewerBundle());
}

TEST_F(InstallerTest, UpgradeKeepsStartAtSignInAsTheUserHadIt) {
  const RegistryValueGuard run_value(kRunKeyPath, kRunValueName);
  ASSERT_EQ(Install(ProductPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  const std::wstring data = L"\"" + InstalledHost() + L"\" --minimized";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, REG_SZ, data.c_str(),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);

  ASSERT_EQ(Install(NewerPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  EXPECT_EQ(RunValueData(), data);
}

}  // namespace
}  // namespace keelo::testing
