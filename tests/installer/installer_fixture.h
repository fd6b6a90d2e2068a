#ifndef TESTS_INSTALLER_INSTALLER_FIXTURE_H_
#define TESTS_INSTALLER_INSTALLER_FIXTURE_H_

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <msi.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/scoped_handles.h"
#include "tests/support/child_process.h"

namespace keelo::testing {

// Spelled out rather than taken from the package: every version of Keelo must keep it, or
// upgrades would install beside the older version instead of replacing it.
inline constexpr wchar_t kUpgradeCode[] = L"{32A630EC-BFF2-4FFA-9CFF-4F5671616124}";

struct MsiHandleTraits {
  using Type = MSIHANDLE;
  static Type Invalid() { return 0; }
  static void Close(Type handle) { MsiCloseHandle(handle); }
};
using ScopedMsiHandle = ScopedResource<MsiHandleTraits>;

// The package of the build tree, with the demo application, and its staged bundle.
std::wstring ProductPackage();
std::wstring ProductBundle();
// A package of the next version made for the tests, of a bundle with the driver as the UI
// application and one asset more, and that bundle.
std::wstring NewerPackage();
std::wstring NewerBundle();
std::wstring NewerVersion();
// The product's bundle and version packaged again, with a product code of its own, and signed
// with a throwaway certificate: our executables in the bundle and the custom-action library
// before they were packaged, and the package. The signed copies of the bundle and of the
// library that it holds.
std::wstring RebuiltPackage();
std::wstring SignedBundle();
std::wstring SignedActions();

// Where the package puts Keelo and its shortcut for the user who runs the tests.
std::wstring InstallDirectory();
std::wstring InstalledHost();
std::wstring StartMenuShortcut();
std::wstring UserProgramsFolder();

// A value of a package's Property table; "<missing>" when it has none.
std::wstring PackageProperty(const std::wstring& package, const std::wstring& name);

// msiexec.exe running with |arguments|, with its verbose log kept for LastMsiexecLog(). Ended
// with the object if it still runs, so that a failed test leaves no installer waiting.
class Msiexec {
 public:
  // Null when it could not be started.
  static std::unique_ptr<Msiexec> Start(const std::wstring& arguments);

  explicit Msiexec(std::unique_ptr<ChildProcess> process);

  DWORD id() const { return process_->id(); }

  // The exit code, or WAIT_TIMEOUT when it had to be ended.
  DWORD Wait();

 private:
  std::unique_ptr<ChildProcess> process_;
};

// Runs msiexec.exe with |arguments| to its end; its exit code, or the reason it did not start.
DWORD RunMsiexec(const std::wstring& arguments);
std::string LastMsiexecLog();
// Silently, as an administrator would deploy it.
DWORD Install(const std::wstring& package);
DWORD Uninstall(const std::wstring& product_code);

// The product codes of every installed version of Keelo.
std::vector<std::wstring> InstalledProducts();
std::wstring ProductInfo(const std::wstring& product_code, const wchar_t* property);

// The entries under installed apps named "Keelo", of the current user and of the machine.
struct UninstallEntry {
  // The product code, the key's name.
  std::wstring key;
  std::wstring publisher;
  std::wstring version;
  HKEY hive = nullptr;
  // The whole key below |hive|.
  std::wstring path;
};
std::vector<UninstallEntry> KeeloUninstallEntries();

// The product code of the one installed Keelo, or "<N>" for N installed.
std::wstring OnlyProduct();

// The files below |root|, as sorted paths relative to it.
std::vector<std::wstring> FilesBelow(const std::wstring& root);
std::string FileContents(const std::wstring& path);
bool Exists(const std::wstring& path);
// The installation holds exactly the files of |bundle|, byte for byte.
void ExpectInstalledFilesAre(const std::wstring& bundle);

struct Shortcut {
  std::wstring target;
  std::wstring arguments;
  std::wstring working_directory;
  std::wstring icon_path;
  int icon_index = 0;
};
// Read back through the shell-link object; nothing when it cannot be loaded.
std::optional<Shortcut> ReadShortcut(const std::wstring& path);

// The 32-pixel image of an icon in a file, as 32-bit pixels; empty when there is none.
std::vector<uint32_t> IconPixels(const std::wstring& path, int index);

bool SamePath(const std::wstring& a, const std::wstring& b);

// Starts and ends with no Keelo installed, also when a test failed half-way or an earlier run
// was killed: every test of a run shares one Wine prefix.
class InstallerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

}  // namespace keelo::testing

#endif  // TESTS_INSTALLER_INSTALLER_FIXTURE_H_
