#include "runner/uncaught_exception.h"

#include <cstdlib>
#include <exception>

#include "runner/crash_report.h"

namespace {

[[noreturn]] void ReportAndAbort() {
  ReportFatalError(UncaughtExceptionLine(), nullptr);
  std::abort();
}

}  // namespace

void InstallUncaughtExceptionReport() { std::set_terminate(&ReportAndAbort); }

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
