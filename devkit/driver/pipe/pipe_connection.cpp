#include "devkit/driver/pipe/pipe_connection.h"

#include <algorithm>

#include "common/text_conversion.h"

namespace devkit {
namespace {

constexpr DWORD kBufferSize = 64 * 1024;
// How long a reconnect attempt waits before trying again while the pipe does not exist yet.
constexpr DWORD kRetryMs = 20;

std::string Failure(const char* what, DWORD code) {
  return std::string(what) + " failed (error " + std::to_string(code) + ")";
}

bool IsBrokenPipe(DWORD code) {
  return code == ERROR_BROKEN_PIPE || code == ERROR_NO_DATA || code == ERROR_PIPE_NOT_CONNECTED;
}

ScopedHandle NewEvent() { return ScopedHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)); }

}  // namespace

std::wstring PipePath(const std::string& name) { return L"\\\\.\\pipe\\" + Utf8ToWide(name); }

PipeConnection::PipeConnection(HANDLE pipe)
    : pipe_(pipe), cancel_event_(NewEvent()), read_event_(NewEvent()), write_event_(NewEvent()) {}

std::unique_ptr<PipeConnection> PipeConnection::Create(const std::string& name,
                                                       std::string* error) {
  // The first-instance flag makes a name that another process already serves an error instead
  // of a second instance that the driver might connect to by mistake.
  HANDLE pipe =
      CreateNamedPipeW(PipePath(name).c_str(),
                       PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                       1, kBufferSize, kBufferSize, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) {
    *error = Failure(("creating the pipe " + name).c_str(), GetLastError());
    return nullptr;
  }
  return std::unique_ptr<PipeConnection>(new PipeConnection(pipe));
}

std::unique_ptr<PipeConnection> PipeConnection::Open(const std::string& name, DWORD timeout_ms,
                                                     HANDLE cancel, std::string* error) {
  const std::wstring path = PipePath(name);
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    HANDLE pipe = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (pipe != INVALID_HANDLE_VALUE)
      return std::unique_ptr<PipeConnection>(new PipeConnection(pipe));
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PIPE_BUSY) {
      *error = Failure(("connecting to the pipe " + name).c_str(), code);
      return nullptr;
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) {
      *error = "the pipe " + name + " was not there to connect to within " +
               std::to_string(timeout_ms) + " ms";
      return nullptr;
    }
    const DWORD pause = static_cast<DWORD>(std::min<ULONGLONG>(kRetryMs, deadline - now));
    if (cancel != nullptr && WaitForSingleObject(cancel, pause) == WAIT_OBJECT_0) {
      *error = "connecting to the pipe " + name + " was cancelled";
      return nullptr;
    }
    if (cancel == nullptr) Sleep(pause);
  }
}

PipeConnection::Result PipeConnection::Finish(OVERLAPPED* overlapped, DWORD* transferred,
                                              DWORD timeout_ms, const char* what,
                                              std::string* error) {
  const HANDLE events[] = {overlapped->hEvent, cancel_event_.get()};
  const DWORD waited = WaitForMultipleObjects(2, events, FALSE, timeout_ms);
  if (waited != WAIT_OBJECT_0) {
    // The operation must be over before its OVERLAPPED goes out of scope.
    CancelIoEx(pipe_.get(), overlapped);
    GetOverlappedResult(pipe_.get(), overlapped, transferred, TRUE);
    if (waited == WAIT_OBJECT_0 + 1) return Result::kCancelled;
    if (waited == WAIT_TIMEOUT) {
      *error = std::string(what) + " did not finish within " + std::to_string(timeout_ms) + " ms";
      return Result::kTimedOut;
    }
    *error = Failure(what, GetLastError());
    return Result::kFailed;
  }
  if (GetOverlappedResult(pipe_.get(), overlapped, transferred, FALSE)) return Result::kDone;
  const DWORD code = GetLastError();
  if (IsBrokenPipe(code)) return Result::kClosed;
  *error = Failure(what, code);
  return Result::kFailed;
}

PipeConnection::Result PipeConnection::WaitForPeer(DWORD timeout_ms, std::string* error) {
  if (WaitForSingleObject(cancel_event_.get(), 0) == WAIT_OBJECT_0) return Result::kCancelled;
  OVERLAPPED overlapped{};
  overlapped.hEvent = read_event_.get();
  ResetEvent(read_event_.get());
  if (ConnectNamedPipe(pipe_.get(), &overlapped)) return Result::kDone;
  const DWORD code = GetLastError();
  if (code == ERROR_PIPE_CONNECTED) return Result::kDone;
  if (code != ERROR_IO_PENDING) {
    *error = Failure("waiting for the pipe's peer", code);
    return Result::kFailed;
  }
  DWORD ignored = 0;
  return Finish(&overlapped, &ignored, timeout_ms, "waiting for the pipe's peer", error);
}

PipeConnection::Result PipeConnection::Write(const uint8_t* data, size_t size, DWORD timeout_ms,
                                             std::string* error) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  while (size > 0) {
    if (WaitForSingleObject(cancel_event_.get(), 0) == WAIT_OBJECT_0) return Result::kCancelled;
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, kBufferSize));
    OVERLAPPED overlapped{};
    overlapped.hEvent = write_event_.get();
    ResetEvent(write_event_.get());
    DWORD written = 0;
    if (!WriteFile(pipe_.get(), data, chunk, nullptr, &overlapped)) {
      const DWORD code = GetLastError();
      if (IsBrokenPipe(code)) return Result::kClosed;
      if (code != ERROR_IO_PENDING) {
        *error = Failure("writing to the pipe", code);
        return Result::kFailed;
      }
    }
    const Result result = Finish(&overlapped, &written, left, "writing to the pipe", error);
    if (result != Result::kDone) return result;
    data += written;
    size -= written;
  }
  return Result::kDone;
}

PipeConnection::Result PipeConnection::Read(uint8_t* buffer, size_t capacity, size_t* received,
                                            DWORD timeout_ms, std::string* error) {
  *received = 0;
  if (WaitForSingleObject(cancel_event_.get(), 0) == WAIT_OBJECT_0) return Result::kCancelled;
  OVERLAPPED overlapped{};
  overlapped.hEvent = read_event_.get();
  ResetEvent(read_event_.get());
  DWORD read = 0;
  const DWORD chunk = static_cast<DWORD>(std::min<size_t>(capacity, kBufferSize));
  if (!ReadFile(pipe_.get(), buffer, chunk, nullptr, &overlapped)) {
    const DWORD code = GetLastError();
    if (IsBrokenPipe(code)) return Result::kClosed;
    if (code != ERROR_IO_PENDING && code != ERROR_MORE_DATA) {
      *error = Failure("reading from the pipe", code);
      return Result::kFailed;
    }
  }
  const Result result = Finish(&overlapped, &read, timeout_ms, "reading from the pipe", error);
  if (result != Result::kDone) return result;
  // A zero-byte read is how a peer's close shows on some systems.
  if (read == 0) return Result::kClosed;
  *received = read;
  return Result::kDone;
}

void PipeConnection::Cancel() { SetEvent(cancel_event_.get()); }

}  // namespace devkit
