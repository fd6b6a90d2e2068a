#ifndef TESTS_SUPPORT_HOST_BUNDLE_H_
#define TESTS_SUPPORT_HOST_BUNDLE_H_

// What every test that runs the host agrees on: where a folder keeps the host, and how long the
// host may take to start or to end.

#include <windows.h>

#include <string>

namespace keelo::testing {

// A cold start of the host under Wine on a machine that builds at the same time takes seconds;
// a host that has shown no window, reached no driver or not ended by then is stuck.
inline constexpr DWORD kStartTimeoutMs = 15000;

// The host's file name, the same in a staged bundle and in the installed folder.
inline constexpr wchar_t kHostExecutable[] = L"keelo_app.exe";

// The host of the bundle or installed folder |directory|.
inline std::wstring HostIn(const std::wstring& directory) {
  return directory + L"\\" + kHostExecutable;
}

}  // namespace keelo::testing

#endif  // TESTS_SUPPORT_HOST_BUNDLE_H_
