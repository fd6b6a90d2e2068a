#ifndef TESTS_SUPPORT_FIXTURES_H_
#define TESTS_SUPPORT_FIXTURES_H_

// The fixture programs of tests/fixtures, run as other applications. A test target links
// keelo_test_fixtures for KEELO_FIXTURE_DIR.

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "tests/support/child_process.h"

namespace keelo::testing {

// A path the build gave in Unix form, as Wine shows it: the Unix root is drive Z:.
inline std::wstring WindowsPathOf(const std::string& unix_path) {
  std::wstring path = L"Z:" + std::wstring(unix_path.begin(), unix_path.end());
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

#ifdef KEELO_FIXTURE_DIR
// "fixture_plain.exe" (no version resource), "fixture_versioned.exe" (OriginalFilename
// "FixtureEditor.EXE" and FileDescription "Keelo Fixture Editor") or
// "fixture_second_translation.exe" (OriginalFilename only in its second translation).
inline std::wstring FixtureExecutable(const std::wstring& file_name) {
  return WindowsPathOf(KEELO_FIXTURE_DIR) + L"\\" + file_name;
}
#endif

// A fixture program running with its one window, titled as the test asked. Ended with the
// object, so that a failed test leaves nothing running.
class FixtureProcess {
 public:
  // |kind| is empty for a visible window, or "invisible", "owned", "untitled" or "tool" for a
  // window that is not an application's main window. Null when the program did not start or
  // made no window within five seconds.
  static std::unique_ptr<FixtureProcess> Start(const std::wstring& executable,
                                               const std::wstring& title,
                                               const std::wstring& kind = std::wstring()) {
    std::wstring arguments = QuotedArgument(title);
    if (!kind.empty()) arguments += L" " + kind;
    std::unique_ptr<ChildProcess> started = ChildProcess::Start(executable, arguments);
    if (started == nullptr) return nullptr;
    auto process = std::unique_ptr<FixtureProcess>(new FixtureProcess(std::move(started)));
    for (int waited = 0; waited < 5000 && process->window_ == nullptr; waited += 10) {
      process->window_ = process->FindOwnWindow();
      if (process->window_ == nullptr) Sleep(10);
    }
    if (process->window_ == nullptr) return nullptr;
    // The window exists from inside its creation on; showing and activating it come after.
    // Once the program waits for input, they are done.
    WaitForInputIdle(process->handle(), 5000);
    return process;
  }

  FixtureProcess(const FixtureProcess&) = delete;
  FixtureProcess& operator=(const FixtureProcess&) = delete;

  HWND window() const { return window_; }
  DWORD id() const { return process_->id(); }
  HANDLE handle() const { return process_->handle(); }

  // Ends the program now and waits until it is gone; its window goes with it.
  void Terminate() { process_->Terminate(); }

 private:
  explicit FixtureProcess(std::unique_ptr<ChildProcess> process) : process_(std::move(process)) {}

  // The program makes one window of its class, whatever its title (an untitled one has none).
  HWND FindOwnWindow() const {
    HWND candidate = nullptr;
    while ((candidate = FindWindowExW(nullptr, candidate, L"KeeloFixtureWindow", nullptr)) !=
           nullptr) {
      DWORD owner = 0;
      GetWindowThreadProcessId(candidate, &owner);
      if (owner == id()) return candidate;
    }
    return nullptr;
  }

  std::unique_ptr<ChildProcess> process_;
  HWND window_ = nullptr;
};

}  // namespace keelo::testing

#endif  // TESTS_SUPPORT_FIXTURES_H_
