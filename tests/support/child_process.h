#ifndef TESTS_SUPPORT_CHILD_PROCESS_H_
#define TESTS_SUPPORT_CHILD_PROCESS_H_

// How tests and benchmarks start the programs they run: the host, the fixture programs,
// msiexec and Notepad.

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "common/scoped_handles.h"

namespace keelo::testing {

class OutputCapture;

// |argument| as one argument of a command line that CommandLineToArgvW and the C runtime read
// back unchanged: in quotes, with its quotes escaped and the backslashes before them doubled.
std::wstring QuotedArgument(const std::wstring& argument);

// The path of a program that Windows keeps in its system folder, such as "msiexec.exe".
std::wstring SystemProgram(const std::wstring& file_name);

struct LaunchOptions {
  // Empty for the caller's own.
  std::wstring working_directory;
  // Collects what the program writes to its standard output and error, for Output().
  bool capture_output = false;
  // How long Terminate waits for the program to be gone.
  DWORD terminate_timeout_ms = 5000;
};

// A program started by a test. One still running when the object goes is terminated, so that a
// failed test leaves nothing behind.
class ChildProcess {
 public:
  // |arguments| is the command line after the program's quoted name, exactly as the program
  // gets it. Null, with GetLastError() telling why, when the program could not be started.
  static std::unique_ptr<ChildProcess> Start(const std::wstring& executable,
                                             const std::wstring& arguments,
                                             const LaunchOptions& options = {});

  ~ChildProcess();

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  DWORD id() const { return id_; }
  HANDLE handle() const { return process_.get(); }

  // The exit code, or nothing if the program still runs after |timeout_ms|.
  std::optional<DWORD> WaitForExit(DWORD timeout_ms);

  // Ends the program now with exit code 255, if it still runs, and waits until it is gone.
  void Terminate();

  // What the program wrote so far; empty unless its output is captured.
  std::string Output() const;

 private:
  ChildProcess(ScopedHandle process, DWORD id, const LaunchOptions& options,
               std::unique_ptr<OutputCapture> output);

  ScopedHandle process_;
  DWORD id_;
  DWORD terminate_timeout_ms_;
  std::unique_ptr<OutputCapture> output_;
};

}  // namespace keelo::testing

#endif  // TESTS_SUPPORT_CHILD_PROCESS_H_
