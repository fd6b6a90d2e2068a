#ifndef TESTS_SUPPORT_OUTPUT_CAPTURE_H_
#define TESTS_SUPPORT_OUTPUT_CAPTURE_H_

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/scoped_handles.h"

namespace keelo::testing {

// What a program writes to its standard output and error, read through a pipe by a thread of
// its own while the program runs, so that the program never waits on a full pipe.
class OutputCapture {
 public:
  // Null when the pipe could not be made.
  static std::unique_ptr<OutputCapture> Create();

  OutputCapture(ScopedFileHandle read_end, ScopedFileHandle write_end);
  ~OutputCapture();

  OutputCapture(const OutputCapture&) = delete;
  OutputCapture& operator=(const OutputCapture&) = delete;

  // The inheritable writing end, for the program's standard handles.
  HANDLE write_end() const { return write_end_.get(); }
  // Once the program has started: only the program keeps a writing end, so that what the pipe
  // holds is the program's alone.
  void CloseWriteEnd() { write_end_.reset(); }

  // What was read so far.
  std::string Text() const;

  // Takes in what is left in the pipe, then stops the reader.
  void Stop();

 private:
  void Read();

  ScopedFileHandle read_end_;
  ScopedFileHandle write_end_;
  // The reader cannot wait for the end of the pipe: a process that Wine starts on the program's
  // behalf (its desktop, explorer.exe) inherits the writing end and keeps it open.
  ScopedHandle stop_reading_;
  mutable std::mutex text_mutex_;
  std::string text_;
  std::thread reader_;
};

}  // namespace keelo::testing

#endif  // TESTS_SUPPORT_OUTPUT_CAPTURE_H_
