#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/installer/installer_fixture.h"
#include "tests/installer/version_resource.h"
#include "tests/support/registry_text.h"

namespace keelo::testing {
namespace {

// What Settings > Apps reads of Keelo: the one entry under installed apps, after an install of
// the product's package.
class UninstallEntryTest : public InstallerTest {
 protected:
  void SetUp() override {
    InstallerTest::SetUp();
    ASSERT_EQ(Install(ProductPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
    const std::vector<UninstallEntry> entries = KeeloUninstallEntries();
    ASSERT_EQ(entries.size(), 1u);
    entry_ = entries.front();
  }

  std::wstring Text(const wchar_t* name) const {
    return ReadRegistryText(entry_.hive, entry_.path, name).value_or(L"<missing>");
  }

  std::optional<DWORD> Number(const wchar_t* name) const {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueW(entry_.hive, entry_.path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    return value;
  }

  UninstallEntry entry_;
};

// What the installed files take, in KiB, rounded up as the package rounds it.
uint64_t InstalledKibibytes() {
  uint64_t bytes = 0;
  for (const std::wstring& file : FilesBelow(InstallDirectory())) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (GetFileAttributesExW((InstallDirectory() + L"\\" + file).c_str(), GetFileExInfoStandard,
                             &data)) {
      bytes += (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    }
  }
  return (bytes + 1023) / 1024;
}

bool RunsUnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST_F(UninstallEntryTest, NamesThePublisherTheVersionTheExecutablesCarryTheSizeAndTheLinks) {
  EXPECT_EQ(Text(L"DisplayName"), L"Keelo");
  EXPECT_EQ(Text(L"Publisher"), L"Vantrel");

  // The VERSION file's "1.0.18+18" is 1.0.18.18 in the resource's fixed fields.
  std::wstring version = L"" KEELO_VERSION_TEXT;
  version.replace(version.find(L'+'), 1, L".");
  EXPECT_EQ(Text(L"DisplayVersion"), version);
  for (const wchar_t* executable : {L"keelo_app.exe", L"keelo_proxy_guard.exe"}) {
    const ExecutableVersion resource =
        ReadExecutableVersion(InstallDirectory() + L"\\" + executable);
    EXPECT_EQ(resource.fields, version) << executable;
    EXPECT_EQ(resource.text, L"" KEELO_VERSION_TEXT) << executable;
  }

  // Size is what the package says; Windows computes EstimatedSize itself (below).
  EXPECT_EQ(Text(L"Size"), std::to_wstring(InstalledKibibytes()));

  for (const wchar_t* link : {L"URLInfoAbout", L"HelpLink"}) {
    EXPECT_EQ(Text(link).rfind(L"https://", 0), 0u) << link << ": " << Text(link);
  }
  EXPECT_EQ(Text(L"URLInfoAbout"), PackageProperty(ProductPackage(), L"ARPURLINFOABOUT"));
  EXPECT_EQ(Text(L"HelpLink"), PackageProperty(ProductPackage(), L"ARPHELPLINK"));
  EXPECT_EQ(Number(L"NoModify"), std::optional<DWORD>(1));
}

TEST_F(UninstallEntryTest, ShowsTheProductIconAndTheSizeWindowsInstallerMeasured) {
  const std::vector<uint32_t> app_icon = IconPixels(InstalledHost(), 0);
  ASSERT_FALSE(app_icon.empty());
  const std::wstring display_icon = Text(L"DisplayIcon");
  const std::optional<DWORD> estimated = Number(L"EstimatedSize");
  if (RunsUnderWine() && display_icon == L"<missing>") {
    // What Wine does give: the product's icon, which Windows would name in DisplayIcon.
    const std::wstring product_icon = ProductInfo(entry_.key, INSTALLPROPERTY_PRODUCTICON);
    EXPECT_TRUE(IconPixels(product_icon, 0) == app_icon) << product_icon;
    GTEST_SKIP() << "Wine's msiexec writes no DisplayIcon (read: " << display_icon
                 << ") and EstimatedSize "
                 << (estimated ? std::to_wstring(*estimated) : std::wstring(L"<missing>"))
                 << "; the product's icon was checked through its ProductIcon (" << product_icon
                 << ") and the size through Size";
  }
  // "<path>,<index>" or a bare path.
  const size_t comma = display_icon.rfind(L',');
  const std::wstring path =
      comma == std::wstring::npos ? display_icon : display_icon.substr(0, comma);
  const int index = comma == std::wstring::npos ? 0 : std::stoi(display_icon.substr(comma + 1));
  EXPECT_TRUE(IconPixels(path, index) == app_icon) << display_icon;
  // Windows Installer counts what it installed by clusters, and the shortcut and icon besides.
  ASSERT_TRUE(estimated.has_value());
  EXPECT_GE(*estimated, InstalledKibibytes());
  EXPECT_LE(*estimated, InstalledKibibytes() + 1024);
}

}  // namespace
}  // namespace keelo::testing
