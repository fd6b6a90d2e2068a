#ifndef DEVKIT_ENGINE_MESSAGE_TRACE_H_
#define DEVKIT_ENGINE_MESSAGE_TRACE_H_

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "devkit/engine/trace_line.h"

namespace devkit {

// Appends one line per channel message to the file that KEELO_DEVKIT_TRACE names; see
// FormatTraceLine for the columns. Off unless the variable is set.
class MessageTrace {
 public:
  static constexpr wchar_t kVariable[] = L"KEELO_DEVKIT_TRACE";

  // Null when the variable is unset, or the file cannot be opened (which is said on stderr).
  static std::shared_ptr<MessageTrace> FromEnvironment();
  ~MessageTrace();

  MessageTrace(const MessageTrace&) = delete;
  MessageTrace& operator=(const MessageTrace&) = delete;

  // From any thread.
  void Record(TraceDirection direction, const std::string& channel,
              const std::vector<uint8_t>& bytes);

 private:
  explicit MessageTrace(std::FILE* file) : file_(file) {}

  std::mutex mutex_;
  std::FILE* file_;
};

}  // namespace devkit

#endif  // DEVKIT_ENGINE_MESSAGE_TRACE_H_
