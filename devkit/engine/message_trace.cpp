#include "devkit/engine/message_trace.h"

#include <windows.h>

#include "common/text_conversion.h"
#include "devkit/engine/engine_diagnostics.h"

namespace devkit {

std::shared_ptr<MessageTrace> MessageTrace::FromEnvironment() {
  const DWORD size = GetEnvironmentVariableW(kVariable, nullptr, 0);
  if (size == 0) return nullptr;
  std::wstring path(size, L'\0');
  path.resize(GetEnvironmentVariableW(kVariable, path.data(), size));
  if (path.empty()) return nullptr;
  // Appended, never truncated: several engines of one test run may share the file.
  std::FILE* file = _wfopen(path.c_str(), L"ab");
  if (file == nullptr) {
    WriteEngineDiagnostic("cannot open the message trace " + WideToUtf8(path) + "; tracing is off");
    return nullptr;
  }
  return std::shared_ptr<MessageTrace>(new MessageTrace(file));
}

MessageTrace::~MessageTrace() { std::fclose(file_); }

void MessageTrace::Record(TraceDirection direction, const std::string& channel,
                          const std::vector<uint8_t>& bytes) {
  const std::string line = FormatTraceLine(direction, channel, bytes.data(), bytes.size());
  std::lock_guard<std::mutex> lock(mutex_);
  std::fwrite(line.data(), 1, line.size(), file_);
  // Flushed per line, so that the trace of a host that crashes is complete up to the crash.
  std::fflush(file_);
}

}  // namespace devkit
