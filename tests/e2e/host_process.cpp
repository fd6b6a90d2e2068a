#include "tests/e2e/host_process.h"

#include "common/shared_names.h"

namespace keelo::testing {

std::unique_ptr<ChildProcess> StartHostProcess(const std::wstring& executable,
                                               const std::wstring& arguments,
                                               const std::wstring& working_directory) {
  LaunchOptions options;
  options.working_directory = working_directory;
  options.capture_output = true;
  return ChildProcess::Start(executable, arguments, options);
}

HWND WaitForHostWindow(DWORD process_id, DWORD timeout_ms) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        found = nullptr;
        HWND candidate = nullptr;
        while ((candidate = FindWindowExW(nullptr, candidate, kWindowClassName, L"Keelo")) !=
               nullptr) {
          DWORD owner = 0;
          GetWindowThreadProcessId(candidate, &owner);
          if (owner == process_id) found = candidate;
        }
        return found != nullptr;
      },
      timeout_ms);
  return found;
}

}  // namespace keelo::testing
