#include "tests/e2e/host_process.h"

#include <atomic>
#include <utility>
#include <vector>

#include "runner/win32_window.h"

namespace keelo::testing {
namespace {

constexpr DWORD kPipeBufferSize = 1 << 16;
constexpr DWORD kDrainTimeoutMs = 2000;

}  // namespace

std::unique_ptr<HostProcess> HostProcess::Start(const std::wstring& executable,
                                                const std::wstring& arguments,
                                                const std::wstring& working_directory) {
  // A named pipe rather than an anonymous one, for the overlapped reads that let the reader
  // stop while the pipe is still open.
  static std::atomic<int> pipes{0};
  std::wstring pipe_name = L"\\\\.\\pipe\\keelo-e2e-output-" +
                           std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++pipes);
  ScopedFileHandle read_end(CreateNamedPipeW(
      pipe_name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, kPipeBufferSize, 0, nullptr));
  if (!read_end) return nullptr;
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  ScopedFileHandle write_end(
      CreateFileW(pipe_name.c_str(), GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0, nullptr));
  if (!write_end) return nullptr;

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end.get();
  startup.hStdError = write_end.get();

  std::wstring command_line = L"\"" + executable + L"\"";
  if (!arguments.empty()) command_line += L" " + arguments;
  std::vector<wchar_t> writable(command_line.begin(), command_line.end());
  writable.push_back(L'\0');

  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessW(
      executable.c_str(), writable.data(), nullptr, nullptr, TRUE, 0, nullptr,
      working_directory.empty() ? nullptr : working_directory.c_str(), &startup, &process);
  // Only the host keeps a writing end, so that the pipe's contents are the host's alone.
  write_end.reset();
  if (!started) return nullptr;
  const ScopedHandle thread(process.hThread);
  return std::make_unique<HostProcess>(ScopedHandle(process.hProcess), process.dwProcessId,
                                       std::move(read_end));
}

HostProcess::HostProcess(ScopedHandle process, DWORD id, ScopedFileHandle output_pipe)
    : process_(std::move(process)),
      id_(id),
      output_pipe_(std::move(output_pipe)),
      stop_reading_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  reader_ = std::thread([this] { ReadOutput(); });
}

HostProcess::~HostProcess() {
  if (WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), 255);
    WaitForSingleObject(process_.get(), 5000);
  }
  StopReading();
}

std::optional<DWORD> HostProcess::WaitForExit(DWORD timeout_ms) {
  if (WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  StopReading();
  return code;
}

std::string HostProcess::Output() {
  std::lock_guard<std::mutex> lock(output_mutex_);
  return output_;
}

void HostProcess::StopReading() {
  if (!reader_.joinable()) return;
  WaitUntil(
      [this] {
        DWORD available = 0;
        return !PeekNamedPipe(output_pipe_.get(), nullptr, 0, nullptr, &available, nullptr) ||
               available == 0;
      },
      kDrainTimeoutMs);
  SetEvent(stop_reading_.get());
  reader_.join();
}

void HostProcess::ReadOutput() {
  const ScopedHandle read_done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED overlapped = {};
  overlapped.hEvent = read_done.get();
  HANDLE pipe = output_pipe_.get();
  char buffer[4096];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(pipe, buffer, sizeof(buffer), nullptr, &overlapped)) {
      if (GetLastError() != ERROR_IO_PENDING) break;
      HANDLE events[] = {read_done.get(), stop_reading_.get()};
      // A completed read wins over the stop: its bytes are taken first.
      if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIo(pipe);
        GetOverlappedResult(pipe, &overlapped, &read, TRUE);
        break;
      }
    }
    if (!GetOverlappedResult(pipe, &overlapped, &read, FALSE)) break;
    std::lock_guard<std::mutex> lock(output_mutex_);
    output_.append(buffer, read);
  }
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
