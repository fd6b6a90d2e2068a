#ifndef RUNNER_CRASH_REPORT_H_
#define RUNNER_CRASH_REPORT_H_

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

// The trace a host leaves when it dies: a minidump of the process in
// %LOCALAPPDATA%\Vantrel\Keelo\crashes (the newest kKeptCrashDumps kept), and lines on the
// standard error stream and in the log that say why and where the dump is.

inline constexpr size_t kKeptCrashDumps = 5;

// From now on an exception that nothing handles reports itself so, with the faulting thread's
// context in the dump, and ends the process with the exception's code. The system's own error
// report is skipped: it would hold the dead process up (a dialog, a dump of its own) while
// the user's proxy still points at a proxy that no longer runs, and the proxy guard puts it
// back only once the process has ended.
void InstallCrashReport();

// Writes |line|, then the dump of the process with |exception| (the calling thread's; null for
// its state now) and a line naming it, and waits a moment for the log to take both.
void ReportFatalError(std::string_view line, EXCEPTION_POINTERS* exception);

// "keelo-20261207-172503-123-4242.dmp": time-ordered by name, whatever the process.
std::wstring CrashDumpName(const SYSTEMTIME& utc, DWORD process_id);

// Of the file names in the crashes folder, the dumps to delete so that the newest |keep| stay.
// Names that are not of dumps are never listed.
std::vector<std::wstring> CrashDumpsToDelete(std::vector<std::wstring> names, size_t keep);

// "Ending on exception 0xC0000005 at 0x00007FF6A1B2C3D4"
std::string UnhandledExceptionLine(const EXCEPTION_RECORD& record);

#endif  // RUNNER_CRASH_REPORT_H_
