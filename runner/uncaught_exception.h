#ifndef RUNNER_UNCAUGHT_EXCEPTION_H_
#define RUNNER_UNCAUGHT_EXCEPTION_H_

#include <windows.h>

#include <string>

// The exit code of a host ended by an uncaught C++ exception or an abort: the one the C runtime's
// abort() gives.
inline constexpr UINT kUncaughtExceptionExitCode = 3;

// No code of the host throws or catches, but the standard library throws when an allocation
// fails. Every callback the engine or the system makes into the host is noexcept, so such an
// exception never unwinds through their C frames: it ends the process at that boundary. This
// makes that end say why, on the standard error stream and in the log, with a crash dump, and
// end the process at once (see EndOnFatalError). The C runtime's abort() would show a dialog
// whose modal loop keeps dispatching the host's messages after its proxy guard has put the
// proxy back and left; an abort from anywhere else ends the same way, without its dialog.
void InstallUncaughtExceptionReport();

// The line written for the exception being handled: its what() when it is a std::exception.
std::string UncaughtExceptionLine();

#endif  // RUNNER_UNCAUGHT_EXCEPTION_H_
