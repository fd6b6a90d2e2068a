#ifndef MESSAGING_DIAGNOSTICS_H_
#define MESSAGING_DIAGNOSTICS_H_

#include <string_view>

namespace flutter {

// Protocol faults are reported as one line each on the standard error stream, flushed at once so
// that the line is not lost if the process ends soon after.
void WriteDiagnosticLine(std::string_view first, std::string_view second = {});

// Where each line also goes, without its line end, on the thread that writes it: the host
// points it at its log file, since a GUI program's standard error is seen by no one. Null for
// nowhere.
using DiagnosticLineSink = void (*)(std::string_view line);
void SetDiagnosticLineSink(DiagnosticLineSink sink);

}  // namespace flutter

#endif  // MESSAGING_DIAGNOSTICS_H_
