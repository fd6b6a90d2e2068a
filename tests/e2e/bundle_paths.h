#ifndef TESTS_E2E_BUNDLE_PATHS_H_
#define TESTS_E2E_BUNDLE_PATHS_H_

#include <string>

namespace keelo::testing {

// The staged bundle of the build tree, as a Windows path.
std::wstring BundleDirectory();
std::wstring HostExecutable();

}  // namespace keelo::testing

#endif  // TESTS_E2E_BUNDLE_PATHS_H_
