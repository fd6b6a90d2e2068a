#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which they need.
#include <msi.h>
#include <msiquery.h>

#include <string>
#include <vector>

#include "tests/installer/installer_fixture.h"
#include "tests/support/host_bundle.h"

namespace keelo::testing {
namespace {

// PIDs of the summary information stream.
constexpr UINT kTemplate = 7;
constexpr UINT kWordCount = 15;
// Bits of the word count: files compressed in the package, no elevation asked for.
constexpr INT kCompressed = 2;
constexpr INT kElevationNotRequired = 8;

struct ExecutableVersion {
  // The version resource's fixed fields, joined with dots.
  std::wstring fields;
  // Its ProductVersion text.
  std::wstring text;
};

ExecutableVersion ReadVersion(const std::wstring& executable) {
  ExecutableVersion version;
  const DWORD size = GetFileVersionInfoSizeW(executable.c_str(), nullptr);
  std::vector<BYTE> data(size);
  if (size == 0 || !GetFileVersionInfoW(executable.c_str(), 0, size, data.data())) return version;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
    version.fields = std::to_wstring(HIWORD(fixed->dwProductVersionMS)) + L"." +
                     std::to_wstring(LOWORD(fixed->dwProductVersionMS)) + L"." +
                     std::to_wstring(HIWORD(fixed->dwProductVersionLS)) + L"." +
                     std::to_wstring(LOWORD(fixed->dwProductVersionLS));
  }
  wchar_t* text = nullptr;
  if (VerQueryValueW(data.data(), L"\\StringFileInfo\\040904E4\\ProductVersion",
                     reinterpret_cast<void**>(&text), &length)) {
    version.text = text;
  }
  return version;
}

TEST(PackageTest, IsNamedAndVersionedAfterTheExecutableWithoutItsBuildNumber) {
  const ExecutableVersion executable = ReadVersion(HostIn(ProductBundle()));
  const size_t plus = executable.text.find(L'+');
  ASSERT_NE(plus, std::wstring::npos) << "ProductVersion \"" << executable.text << "\"";
  const std::wstring version = executable.text.substr(0, plus);
  // The resource's two forms agree, build number included.
  EXPECT_EQ(executable.fields, version + L"." + executable.text.substr(plus + 1));

  const std::wstring package = ProductPackage();
  EXPECT_EQ(package.substr(package.rfind(L'\\') + 1), L"keelo-" + version + L"-x64.msi");
  EXPECT_EQ(PackageProperty(package, L"ProductVersion"), version);
}

TEST(PackageTest, InstallsForTheUserOn64BitWindowsWithoutElevation) {
  const std::wstring package = ProductPackage();
  EXPECT_EQ(PackageProperty(package, L"ProductName"), L"Keelo");
  EXPECT_EQ(PackageProperty(package, L"Manufacturer"), L"Vantrel");
  EXPECT_EQ(PackageProperty(package, L"UpgradeCode"), kUpgradeCode);
  // Set to anything, ALLUSERS would ask for an installation for every user of the machine.
  EXPECT_EQ(PackageProperty(package, L"ALLUSERS"), L"<missing>");

  ScopedMsiHandle summary;
  ASSERT_EQ(MsiGetSummaryInformationW(0, package.c_str(), 0, summary.put()),
            static_cast<UINT>(ERROR_SUCCESS));
  UINT type = 0;
  INT number = 0;
  FILETIME time = {};
  wchar_t text[64] = {};
  DWORD length = 64;
  ASSERT_EQ(
      MsiSummaryInfoGetPropertyW(summary.get(), kTemplate, &type, &number, &time, text, &length),
      static_cast<UINT>(ERROR_SUCCESS));
  EXPECT_STREQ(text, L"x64;1033");
  length = 0;
  ASSERT_EQ(MsiSummaryInfoGetPropertyW(summary.get(), kWordCount, &type, &number, &time, nullptr,
                                       &length),
            static_cast<UINT>(ERROR_SUCCESS));
  EXPECT_EQ(number & kElevationNotRequired, kElevationNotRequired);
  EXPECT_EQ(number & kCompressed, kCompressed);
}

}  // namespace
}  // namespace keelo::testing
