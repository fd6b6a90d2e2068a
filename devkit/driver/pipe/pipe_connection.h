#ifndef DEVKIT_DRIVER_PIPE_PIPE_CONNECTION_H_
#define DEVKIT_DRIVER_PIPE_PIPE_CONNECTION_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/scoped_handles.h"

namespace devkit {

// One end of a byte-mode named pipe between a test and the driver. All I/O is overlapped, so
// every wait has a deadline and Cancel, from any thread, ends it at once: neither side can hang
// on the other. One reader and one writer may work at the same time.
class PipeConnection {
 public:
  enum class Result { kDone, kClosed, kTimedOut, kCancelled, kFailed };

  // Creates the pipe as its only instance, for one peer on this machine. Null, with |error| set,
  // when the name is taken or invalid.
  static std::unique_ptr<PipeConnection> Create(const std::string& name, std::string* error);

  // Connects to a pipe that the other side created, retrying while it does not exist yet.
  // |cancel| (may be null) is an event that abandons the attempt when set.
  static std::unique_ptr<PipeConnection> Open(const std::string& name, DWORD timeout_ms,
                                              HANDLE cancel, std::string* error);

  PipeConnection(const PipeConnection&) = delete;
  PipeConnection& operator=(const PipeConnection&) = delete;

  // On a created pipe: waits for the peer to connect.
  Result WaitForPeer(DWORD timeout_ms, std::string* error);

  // Writes all of |data|.
  Result Write(const uint8_t* data, size_t size, DWORD timeout_ms, std::string* error);

  // Reads what has arrived, at least one byte, at most |capacity|.
  Result Read(uint8_t* buffer, size_t capacity, size_t* received, DWORD timeout_ms,
              std::string* error);

  // Ends every wait in progress and every later one with kCancelled.
  void Cancel();

 private:
  explicit PipeConnection(HANDLE pipe);

  // Waits for the overlapped operation started on |overlapped| and returns its outcome.
  Result Finish(OVERLAPPED* overlapped, DWORD* transferred, DWORD timeout_ms, const char* what,
                std::string* error);

  ScopedFileHandle pipe_;
  ScopedHandle cancel_event_;
  ScopedHandle read_event_;
  ScopedHandle write_event_;
};

// \\.\pipe\ followed by |name|.
std::wstring PipePath(const std::string& name);

}  // namespace devkit

#endif  // DEVKIT_DRIVER_PIPE_PIPE_CONNECTION_H_
