#include "tests/installer/installer_fixture.h"

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
// After windows.h, which it needs.
#include <msiquery.h>

#include <algorithm>
#include <functional>
#include <utility>

#include "tests/support/fixtures.h"
#include "tests/support/host_bundle.h"
#include "tests/support/registry_text.h"

namespace keelo::testing {
namespace {

constexpr DWORD kMsiexecTimeoutMs = 60000;
constexpr int kIconSize = 32;

std::wstring KnownFolder(REFKNOWNFOLDERID folder) {
  ScopedCoTaskMem<wchar_t> path;
  if (FAILED(SHGetKnownFolderPath(folder, 0, nullptr, path.put()))) return std::wstring();
  return path.get();
}

std::wstring LogPath() {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"keelo-installer-test-" + std::to_wstring(GetCurrentProcessId()) +
         L".log";
}

std::wstring RegistryString(HKEY hive, const std::wstring& key, const wchar_t* name) {
  return ReadRegistryText(hive, key, name).value_or(std::wstring());
}

// Calls |visit| with every entry of |folder| but "." and "..".
void ForEachEntry(const std::wstring& folder,
                  const std::function<void(const WIN32_FIND_DATAW&)>& visit) {
  WIN32_FIND_DATAW entry = {};
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") visit(entry);
  } while (FindNextFileW(search, &entry));
  FindClose(search);
}

void CollectFiles(const std::wstring& root, const std::wstring& relative,
                  std::vector<std::wstring>* files) {
  ForEachEntry(root + relative, [&](const WIN32_FIND_DATAW& entry) {
    const std::wstring path = relative + L"\\" + entry.cFileName;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      CollectFiles(root, path, files);
    } else {
      files->push_back(path.substr(1));
    }
  });
}

void DeleteTree(const std::wstring& folder) {
  ForEachEntry(folder, [&](const WIN32_FIND_DATAW& entry) {
    const std::wstring path = folder + L"\\" + entry.cFileName;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      DeleteTree(path);
    } else {
      DeleteFileW(path.c_str());
    }
  });
  RemoveDirectoryW(folder.c_str());
}

std::wstring WithoutClosingBackslashes(std::wstring path) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

void RemoveEveryKeelo() {
  for (const std::wstring& product : InstalledProducts()) Uninstall(product);
  // What an uninstall could not remove, such as the files of a host a killed run left running.
  if (Exists(InstallDirectory())) DeleteTree(InstallDirectory());
  DeleteFileW(StartMenuShortcut().c_str());
}

class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT result_;
};

}  // namespace

std::wstring ProductPackage() { return WindowsPathOf(KEELO_PRODUCT_PACKAGE); }
std::wstring ProductBundle() { return WindowsPathOf(KEELO_PRODUCT_BUNDLE); }
std::wstring NewerPackage() { return WindowsPathOf(KEELO_NEWER_PACKAGE); }
std::wstring NewerBundle() { return WindowsPathOf(KEELO_NEWER_BUNDLE); }
std::wstring NewerVersion() { return L"" KEELO_NEWER_VERSION; }
std::wstring RebuiltPackage() { return WindowsPathOf(KEELO_REBUILT_PACKAGE); }
std::wstring SignedBundle() { return WindowsPathOf(KEELO_SIGNED_BUNDLE); }
std::wstring SignedActions() { return WindowsPathOf(KEELO_SIGNED_ACTIONS); }

std::wstring InstallDirectory() {
  return KnownFolder(FOLDERID_LocalAppData) + L"\\Programs\\Keelo";
}
std::wstring InstalledHost() { return HostIn(InstallDirectory()); }
std::wstring StartMenuShortcut() { return KnownFolder(FOLDERID_Programs) + L"\\Keelo.lnk"; }
std::wstring UserProgramsFolder() { return KnownFolder(FOLDERID_LocalAppData) + L"\\Programs"; }

std::wstring PackageProperty(const std::wstring& package, const std::wstring& name) {
  ScopedMsiHandle database;
  if (MsiOpenDatabaseW(package.c_str(), MSIDBOPEN_READONLY, database.put()) != ERROR_SUCCESS) {
    return L"<no package>";
  }
  ScopedMsiHandle view;
  const std::wstring query = L"SELECT `Value` FROM `Property` WHERE `Property` = '" + name + L"'";
  if (MsiDatabaseOpenViewW(database.get(), query.c_str(), view.put()) != ERROR_SUCCESS ||
      MsiViewExecute(view.get(), 0) != ERROR_SUCCESS) {
    return L"<no query>";
  }
  ScopedMsiHandle record;
  if (MsiViewFetch(view.get(), record.put()) != ERROR_SUCCESS) return L"<missing>";
  wchar_t value[256] = {};
  DWORD length = 256;
  if (MsiRecordGetStringW(record.get(), 1, value, &length) != ERROR_SUCCESS) return L"<unread>";
  return value;
}

std::unique_ptr<Msiexec> Msiexec::Start(const std::wstring& arguments) {
  DeleteFileW(LogPath().c_str());
  LaunchOptions options;
  options.terminate_timeout_ms = kMsiexecTimeoutMs;
  std::unique_ptr<ChildProcess> process = ChildProcess::Start(
      SystemProgram(L"msiexec.exe"), arguments + L" /l*v " + QuotedArgument(LogPath()), options);
  if (process == nullptr) return nullptr;
  return std::make_unique<Msiexec>(std::move(process));
}

Msiexec::Msiexec(std::unique_ptr<ChildProcess> process) : process_(std::move(process)) {}

DWORD Msiexec::Wait() { return process_->WaitForExit(kMsiexecTimeoutMs).value_or(WAIT_TIMEOUT); }

DWORD RunMsiexec(const std::wstring& arguments) {
  const std::unique_ptr<Msiexec> msiexec = Msiexec::Start(arguments);
  if (msiexec == nullptr) return GetLastError();
  return msiexec->Wait();
}

std::string LastMsiexecLog() { return "msiexec's log:\n" + FileContents(LogPath()); }

DWORD Install(const std::wstring& package) { return RunMsiexec(L"/i \"" + package + L"\" /qn"); }

DWORD Uninstall(const std::wstring& product_code) {
  return RunMsiexec(L"/x " + product_code + L" /qn");
}

std::vector<std::wstring> InstalledProducts() {
  std::vector<std::wstring> products;
  wchar_t product[39] = {};
  for (DWORD index = 0; MsiEnumRelatedProductsW(kUpgradeCode, 0, index, product) == ERROR_SUCCESS;
       ++index) {
    products.push_back(product);
  }
  return products;
}

std::wstring ProductInfo(const std::wstring& product_code, const wchar_t* property) {
  DWORD length = 0;
  wchar_t none[1] = L"";
  if (MsiGetProductInfoW(product_code.c_str(), property, none, &length) != ERROR_MORE_DATA) {
    return std::wstring();
  }
  std::wstring value(length, L'\0');
  DWORD capacity = length + 1;
  if (MsiGetProductInfoW(product_code.c_str(), property, value.data(), &capacity) !=
      ERROR_SUCCESS) {
    return std::wstring();
  }
  value.resize(capacity);
  return value;
}

std::vector<UninstallEntry> KeeloUninstallEntries() {
  const std::wstring uninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  std::vector<UninstallEntry> entries;
  for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    ScopedRegistryKey key;
    if (RegOpenKeyExW(hive, uninstall.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) continue;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
      DWORD length = 256;
      if (RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      const std::wstring entry = uninstall + L"\\" + name;
      if (RegistryString(hive, entry, L"DisplayName") != L"Keelo") continue;
      entries.push_back({name, RegistryString(hive, entry, L"Publisher"),
                         RegistryString(hive, entry, L"DisplayVersion"), hive, entry});
    }
  }
  return entries;
}

std::wstring OnlyProduct() {
  const std::vector<std::wstring> products = InstalledProducts();
  return products.size() == 1 ? products.front() : L"<" + std::to_wstring(products.size()) + L">";
}

std::vector<std::wstring> FilesBelow(const std::wstring& root) {
  std::vector<std::wstring> files;
  CollectFiles(root, L"", &files);
  std::sort(files.begin(), files.end());
  return files;
}

std::string FileContents(const std::wstring& path) {
  const ScopedFileHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  std::string contents;
  if (!file) return contents;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    contents.append(buffer, read);
  }
  return contents;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void ExpectInstalledFilesAre(const std::wstring& bundle) {
  const std::vector<std::wstring> files = FilesBelow(bundle);
  ASSERT_FALSE(files.empty()) << bundle;
  EXPECT_EQ(FilesBelow(InstallDirectory()), files);
  const std::wstring installed = InstallDirectory() + L"\\";
  const std::wstring staged = bundle + L"\\";
  for (const std::wstring& file : files) {
    EXPECT_TRUE(FileContents(installed + file) == FileContents(staged + file)) << file;
  }
}

std::optional<Shortcut> ReadShortcut(const std::wstring& path) {
  const ComApartment apartment;
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.put_void()))) {
    return std::nullopt;
  }
  const ComPtr<IPersistFile> file = link.As<IPersistFile>(IID_IPersistFile);
  if (!file || FAILED(file->Load(path.c_str(), STGM_READ))) return std::nullopt;
  Shortcut shortcut;
  wchar_t text[MAX_PATH] = {};
  if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH))) shortcut.target = text;
  text[0] = L'\0';
  if (SUCCEEDED(link->GetArguments(text, MAX_PATH))) shortcut.arguments = text;
  text[0] = L'\0';
  if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) shortcut.working_directory = text;
  text[0] = L'\0';
  if (SUCCEEDED(link->GetIconLocation(text, MAX_PATH, &shortcut.icon_index))) {
    shortcut.icon_path = text;
  }
  return shortcut;
}

std::vector<uint32_t> IconPixels(const std::wstring& path, int index) {
  HICON extracted = nullptr;
  UINT id = 0;
  if (PrivateExtractIconsW(path.c_str(), index, kIconSize, kIconSize, &extracted, &id, 1, 0) != 1 ||
      extracted == nullptr) {
    return {};
  }
  const ScopedIcon icon(extracted);
  ICONINFO info = {};
  if (!GetIconInfo(icon.get(), &info)) return {};
  const ScopedGdiObject<HBITMAP> color(info.hbmColor);
  const ScopedGdiObject<HBITMAP> mask(info.hbmMask);
  BITMAPINFO format = {};
  format.bmiHeader.biSize = sizeof(format.bmiHeader);
  format.bmiHeader.biWidth = kIconSize;
  format.bmiHeader.biHeight = -kIconSize;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> pixels(static_cast<size_t>(kIconSize) * kIconSize);
  const HDC screen = GetDC(nullptr);
  const int lines =
      GetDIBits(screen, color.get(), 0, kIconSize, pixels.data(), &format, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (lines != kIconSize) return {};
  return pixels;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  const std::wstring left = WithoutClosingBackslashes(a);
  const std::wstring right = WithoutClosingBackslashes(b);
  return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                              static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

void InstallerTest::SetUp() { RemoveEveryKeelo(); }

void InstallerTest::TearDown() {
  RemoveEveryKeelo();
  DeleteFileW(LogPath().c_str());
}

}  // namespace keelo::testing
