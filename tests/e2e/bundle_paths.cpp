#include "tests/e2e/bundle_paths.h"

#include <algorithm>

namespace keelo::testing {

std::wstring BundleDirectory() {
  // The build gives the Unix path; Wine shows the Unix root as drive Z:.
  std::string unix_path = KEELO_BUNDLE_DIR;
  std::wstring path = L"Z:" + std::wstring(unix_path.begin(), unix_path.end());
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

std::wstring HostExecutable() { return BundleDirectory() + L"\\keelo_app.exe"; }

}  // namespace keelo::testing
