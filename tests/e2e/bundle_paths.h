#ifndef TESTS_E2E_BUNDLE_PATHS_H_
#define TESTS_E2E_BUNDLE_PATHS_H_

#include <string>
#include <vector>

namespace keelo::testing {

// The staged bundle of the build tree, as a Windows path.
std::wstring BundleDirectory();
std::wstring HostExecutable();

// A copy of the staged bundle in |directory|, made with its parent folders and removed with the
// object, so that a test can run the host from a path of its choosing.
class BundleCopy {
 public:
  explicit BundleCopy(std::wstring directory);
  ~BundleCopy();

  BundleCopy(const BundleCopy&) = delete;
  BundleCopy& operator=(const BundleCopy&) = delete;

  bool complete() const { return complete_; }
  const std::wstring& directory() const { return directory_; }

 private:
  std::wstring directory_;
  std::vector<std::wstring> created_folders_;
  std::vector<std::wstring> copied_files_;
  bool complete_ = true;
};

}  // namespace keelo::testing

#endif  // TESTS_E2E_BUNDLE_PATHS_H_
