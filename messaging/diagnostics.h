#ifndef MESSAGING_DIAGNOSTICS_H_
#define MESSAGING_DIAGNOSTICS_H_

#include <string_view>

namespace flutter {

// Protocol faults are reported as one line each on the standard error stream, flushed at once so
// that the line is not lost if the process ends soon after.
void WriteDiagnosticLine(std::string_view first, std::string_view second = {});

}  // namespace flutter

#endif  // MESSAGING_DIAGNOSTICS_H_
