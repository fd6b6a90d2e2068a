#include "tests/e2e/bundle_paths.h"

#include <windows.h>

#include <utility>

#include "tests/support/fixtures.h"
#include "tests/support/host_bundle.h"

namespace keelo::testing {

std::wstring BundleDirectory() { return WindowsPathOf(KEELO_BUNDLE_DIR); }

std::wstring HostExecutable() { return HostIn(BundleDirectory()); }

BundleCopy::BundleCopy(std::wstring directory) : directory_(std::move(directory)) {
  for (const std::wstring& folder :
       {std::wstring(), std::wstring(L"\\data"), std::wstring(L"\\data\\flutter_assets")}) {
    // Every missing parent first, outermost first.
    const std::wstring path = directory_ + folder;
    for (size_t end = path.find(L'\\', 3);; end = path.find(L'\\', end + 1)) {
      const std::wstring part = path.substr(0, end);
      if (GetFileAttributesW(part.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (!CreateDirectoryW(part.c_str(), nullptr)) complete_ = false;
        created_folders_.push_back(part);
      }
      if (end == std::wstring::npos) break;
    }
  }
  for (const wchar_t* file :
       {kHostExecutable, L"flutter_windows.dll", L"url_launcher_windows_plugin.dll",
        L"data\\app.so", L"data\\icudtl.dat", L"data\\flutter_assets\\README.txt"}) {
    const std::wstring target = directory_ + L"\\" + file;
    if (!CopyFileW((BundleDirectory() + L"\\" + file).c_str(), target.c_str(), FALSE)) {
      complete_ = false;
      continue;
    }
    copied_files_.push_back(target);
  }
}

BundleCopy::~BundleCopy() {
  for (const std::wstring& file : copied_files_) DeleteFileW(file.c_str());
  for (auto folder = created_folders_.rbegin(); folder != created_folders_.rend(); ++folder) {
    RemoveDirectoryW(folder->c_str());
  }
}

}  // namespace keelo::testing
