#include "messaging/diagnostics.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace flutter {
namespace {

std::atomic<DiagnosticLineSink> line_sink{nullptr};

}  // namespace

void WriteDiagnosticLine(std::string_view first, std::string_view second) {
  // One write per line keeps lines from different threads or processes whole.
  std::string line;
  line.reserve(first.size() + second.size() + 1);
  line.append(first).append(second).push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  if (DiagnosticLineSink sink = line_sink.load()) {
    sink(std::string_view(line.data(), line.size() - 1));
  }
}

void SetDiagnosticLineSink(DiagnosticLineSink sink) { line_sink.store(sink); }

}  // namespace flutter
