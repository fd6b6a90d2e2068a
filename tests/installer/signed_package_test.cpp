#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which they need.
#include <msi.h>
#include <msiquery.h>

#include <string>
#include <vector>

#include "tests/installer/installer_fixture.h"

namespace keelo::testing {
namespace {

// The bytes of a stream of the package's Binary table, where the custom actions' library is.
std::string BinaryStream(const std::wstring& package, const wchar_t* name) {
  ScopedMsiHandle database;
  if (MsiOpenDatabaseW(package.c_str(), MSIDBOPEN_READONLY, database.put()) != ERROR_SUCCESS) {
    return "<no package>";
  }
  ScopedMsiHandle view;
  const std::wstring query =
      std::wstring(L"SELECT `Data` FROM `Binary` WHERE `Name` = '") + name + L"'";
  ScopedMsiHandle record;
  if (MsiDatabaseOpenViewW(database.get(), query.c_str(), view.put()) != ERROR_SUCCESS ||
      MsiViewExecute(view.get(), 0) != ERROR_SUCCESS ||
      MsiViewFetch(view.get(), record.put()) != ERROR_SUCCESS) {
    return "<missing>";
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    DWORD read = sizeof(buffer);
    if (MsiRecordReadStream(record.get(), 1, buffer, &read) != ERROR_SUCCESS || read == 0) break;
    bytes.append(buffer, read);
  }
  return bytes;
}

// The package signed with a throwaway certificate (whose signatures the test
// PackageSigning.EachSignedFileVerifiesAndAChangedByteDoesNot checks) against the same steps as
// the unsigned one: over the product's package of the same version, then the next version over
// it, then removed.
TEST_F(InstallerTest, SignedPackageReplacesTheSameVersionIsUpgradedAndUninstalls) {
  EXPECT_TRUE(BinaryStream(RebuiltPackage(), L"KeeloActions") == FileContents(SignedActions()))
      << "the package does not hold the signed custom-action library";

  ASSERT_EQ(Install(ProductPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  ASSERT_EQ(Install(RebuiltPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  EXPECT_EQ(OnlyProduct(), PackageProperty(RebuiltPackage(), L"ProductCode"));
  EXPECT_EQ(KeeloUninstallEntries().size(), 1u);
  ExpectInstalledFilesAre(SignedBundle());

  ASSERT_EQ(Install(NewerPackage()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  EXPECT_EQ(ProductInfo(OnlyProduct(), INSTALLPROPERTY_VERSIONSTRING), NewerVersion());
  ExpectInstalledFilesAre(NewerBundle());

  ASSERT_EQ(Uninstall(OnlyProduct()), static_cast<DWORD>(ERROR_SUCCESS)) << LastMsiexecLog();
  EXPECT_FALSE(Exists(InstallDirectory()));
  EXPECT_TRUE(InstalledProducts().empty());
  EXPECT_TRUE(KeeloUninstallEntries().empty());
}

}  // namespace
}  // namespace keelo::testing
