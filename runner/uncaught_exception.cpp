#include "runner/uncaught_exception.h"

#include <csignal>
#include <cstdlib>
#include <exception>

#include "runner/crash_report.h"

namespace {

[[noreturn]] void ReportAndEnd() noexcept {
  EndOnFatalError(UncaughtExceptionLine(), nullptr, kUncaughtExceptionExitCode);
}

void ReportAbort(int) noexcept {
  EndOnFatalError("Ending: abort was called.", nullptr, kUncaughtExceptionExitCode);
}

}  // namespace

void InstallUncaughtExceptionReport() {
  std::set_terminate(&ReportAndEnd);
  // abort() writes its message before it raises the signal: to the standard error stream rather
  // than in a message box.
  _set_error_mode(_OUT_TO_STDERR);
  std::signal(SIGABRT, &ReportAbort);
}

std::string UncaughtExceptionLine() {
  const std::exception_ptr current = std::current_exception();
  if (!current) return "Ending: std::terminate was called without an exception.";
  try {
    std::rethrow_exception(current);
  } catch (const std::exception& exception) {
    return std::string("Ending on an uncaught exception: ") + exception.what();
  } catch (...) {
    return "Ending on an uncaught exception of an unknown type.";
  }
}
