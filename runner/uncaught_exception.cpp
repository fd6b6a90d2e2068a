#include "runner/uncaught_exception.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

[[noreturn]] void ReportAndAbort() {
  const std::string line = UncaughtExceptionLine();
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  std::abort();
}

}  // namespace

void InstallUncaughtExceptionReport() { std::set_terminate(&ReportAndAbort); }

std::string UncaughtExceptionLine() {
  const std::exception_ptr current = std::current_exception();
  if (!current) return "Ending: std::terminate was called without an exception.\n";
  try {
    std::rethrow_exception(current);
  } catch (const std::exception& exception) {
    return std::string("Ending on an uncaught exception: ") + exception.what() + "\n";
  } catch (...) {
    return "Ending on an uncaught exception of an unknown type.\n";
  }
}
