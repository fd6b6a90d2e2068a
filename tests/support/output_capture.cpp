#include "tests/support/output_capture.h"

#include <atomic>
#include <utility>

namespace keelo::testing {
namespace {

constexpr DWORD kPipeBufferSize = 1 << 16;
constexpr DWORD kDrainTimeoutMs = 2000;
constexpr DWORD kDrainPollMs = 10;

bool PipeIsEmpty(HANDLE pipe) {
  DWORD available = 0;
  return !PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0;
}

}  // namespace

std::unique_ptr<OutputCapture> OutputCapture::Create() {
  // A named pipe rather than an anonymous one, for the overlapped reads that let the reader
  // stop while the pipe is still open.
  static std::atomic<int> pipes{0};
  const std::wstring pipe_name = L"\\\\.\\pipe\\keelo-test-output-" +
                                 std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(++pipes);
  ScopedFileHandle read_end(CreateNamedPipeW(
      pipe_name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, kPipeBufferSize, 0, nullptr));
  if (!read_end) return nullptr;
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  ScopedFileHandle write_end(
      CreateFileW(pipe_name.c_str(), GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0, nullptr));
  if (!write_end) return nullptr;
  return std::make_unique<OutputCapture>(std::move(read_end), std::move(write_end));
}

OutputCapture::OutputCapture(ScopedFileHandle read_end, ScopedFileHandle write_end)
    : read_end_(std::move(read_end)),
      write_end_(std::move(write_end)),
      stop_reading_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  reader_ = std::thread([this] { Read(); });
}

OutputCapture::~OutputCapture() { Stop(); }

std::string OutputCapture::Text() const {
  std::lock_guard<std::mutex> lock(text_mutex_);
  return text_;
}

void OutputCapture::Stop() {
  if (!reader_.joinable()) return;
  const ULONGLONG start = GetTickCount64();
  while (!PipeIsEmpty(read_end_.get()) && GetTickCount64() - start < kDrainTimeoutMs) {
    Sleep(kDrainPollMs);
  }
  SetEvent(stop_reading_.get());
  reader_.join();
}

void OutputCapture::Read() {
  const ScopedHandle read_done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED overlapped = {};
  overlapped.hEvent = read_done.get();
  HANDLE pipe = read_end_.get();
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
    std::lock_guard<std::mutex> lock(text_mutex_);
    text_.append(buffer, read);
  }
}

}  // namespace keelo::testing
