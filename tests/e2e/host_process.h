#ifndef TESTS_E2E_HOST_PROCESS_H_
#define TESTS_E2E_HOST_PROCESS_H_

#include <windows.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "common/scoped_handles.h"

namespace keelo::testing {

// A host started by a test, with its standard output and error captured through a pipe. A host
// still running when the object goes is terminated, so that a failed test leaves nothing behind.
class HostProcess {
 public:
  // |arguments| is the command line after the program name, exactly as the host gets it.
  // |working_directory| may be empty for the test's own.
  // Null when the process could not be started.
  static std::unique_ptr<HostProcess> Start(const std::wstring& executable,
                                            const std::wstring& arguments,
                                            const std::wstring& working_directory = L"");

  HostProcess(ScopedHandle process, DWORD id, ScopedFileHandle output_pipe);
  ~HostProcess();

  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  DWORD id() const { return id_; }
  HANDLE handle() const { return process_.get(); }

  // The exit code, or nothing if the host still runs after |timeout_ms|.
  std::optional<DWORD> WaitForExit(DWORD timeout_ms);

  // What the host wrote so far.
  std::string Output();

 private:
  void ReadOutput();
  // Takes in what is left in the pipe, then stops the reader.
  void StopReading();

  ScopedHandle process_;
  DWORD id_;
  ScopedFileHandle output_pipe_;
  // The reader cannot wait for the end of the pipe: a process that Wine starts on the host's
  // behalf (its desktop, explorer.exe) inherits the writing end and keeps it open.
  ScopedHandle stop_reading_;
  std::mutex output_mutex_;
  std::string output_;
  std::thread reader_;
};

// The top-level window of the host's class and title "Keelo" that belongs to process
// |process_id|, once it exists; null after |timeout_ms|.
HWND WaitForHostWindow(DWORD process_id, DWORD timeout_ms);

// Polls |condition| every 10 ms until it holds or |timeout_ms| passes; returns its last value.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeout_ms) return condition();
    Sleep(10);
  }
}

}  // namespace keelo::testing

#endif  // TESTS_E2E_HOST_PROCESS_H_
