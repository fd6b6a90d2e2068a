#ifndef RUNNER_UNCAUGHT_EXCEPTION_H_
#define RUNNER_UNCAUGHT_EXCEPTION_H_

#include <string>

// No code of the host throws or catches, but the standard library throws when an allocation
// fails. Every callback the engine or the system makes into the host is noexcept, so such an
// exception never unwinds through their C frames: it ends the process at that boundary. This
// makes that end say why, on the standard error stream and in the log, with a crash dump,
// before the process aborts.
void InstallUncaughtExceptionReport();

// The line written for the exception being handled: its what() when it is a std::exception.
std::string UncaughtExceptionLine();

#endif  // RUNNER_UNCAUGHT_EXCEPTION_H_
