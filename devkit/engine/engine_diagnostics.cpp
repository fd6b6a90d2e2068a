#include "devkit/engine/engine_diagnostics.h"

#include <cstdio>
#include <string>

namespace devkit {

void WriteEngineDiagnostic(std::string_view text) {
  // One write per line keeps it whole beside the host's own output. The C runtime's stream is
  // the process's, shared with the host, so it follows the host when it re-opens stderr.
  std::string line = "flutter_windows (development kit): ";
  line.append(text).push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace devkit
