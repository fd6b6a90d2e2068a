#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which they need.
#include <msi.h>
#include <msiquery.h>

#include <string>

#include "tests/installer/installer_fixture.h"
#include "tests/installer/version_resource.h"
#include "tests/support/host_bundle.h"

namespace keelo::testing {
namespace {

// PIDs of the summary information stream.
constexpr UINT kTemplate = 7;
constexpr UINT kWordCount = 15;
// Bits of the word count: files compressed in the package, no elevation asked for.
constexpr INT kCompressed = 2;
constexpr INT kElevationNotRequired = 8;

TEST(PackageTest, IsNamedAfterTheVersionWithoutItsBuildNumberAndCarriesAllOfIt) {
  const ExecutableVersion executable = ReadExecutableVersion(HostIn(ProductBundle()));
  const size_t plus = executable.text.find(L'+');
  ASSERT_NE(plus, std::wstring::npos) << "ProductVersion \"" << executable.text << "\"";
  const std::wstring version = executable.text.substr(0, plus);
  // The resource's two forms agree, build number included.
  EXPECT_EQ(executable.fields, version + L"." + executable.text.substr(plus + 1));

  const std::wstring package = ProductPackage();
  EXPECT_EQ(package.substr(package.rfind(L'\\') + 1), L"keelo-" + version + L"-x64.msi");
  // Windows Installer compares the first three fields only; installed apps show all four.
  EXPECT_EQ(PackageProperty(package, L"ProductVersion"), executable.fields);
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
