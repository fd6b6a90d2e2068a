#ifndef TESTS_INSTALLER_VERSION_RESOURCE_H_
#define TESTS_INSTALLER_VERSION_RESOURCE_H_

#include <string>

namespace keelo::testing {

// What an executable's version resource says of the product's version.
struct ExecutableVersion {
  // The fixed fields, joined with dots ("1.0.18.18"); empty without a resource.
  std::wstring fields;
  // The ProductVersion text of the U.S. English, Windows Latin-1 table ("1.0.18+18").
  std::wstring text;
};

ExecutableVersion ReadExecutableVersion(const std::wstring& executable);

}  // namespace keelo::testing

#endif  // TESTS_INSTALLER_VERSION_RESOURCE_H_
