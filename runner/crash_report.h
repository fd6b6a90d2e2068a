#ifndef RUNNER_CRASH_REPORT_H_
#define RUNNER_CRASH_REPORT_H_

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

// The trace a host leaves when it dies: a minidump of the process in
// %LOCALAPPDATA%\Vantrel\Keelo\crashes (the newest kKeptCrashDumps kept), and lines on the
// standard error stream and in the log that say why and where the dump is. Then the process
// ends at once, without a dialog and without running anything more of it.

inline constexpr size_t kKeptCrashDumps = 5;

// From now on an exception that nothing handles reports itself so, with the faulting thread's
// context in the dump, and ends the process with the exception's code. The system's own error
// report is skipped: it would hold the dead process up (a dialog, a dump of its own) while
// the user's proxy still points at a proxy that no longer runs. Makes the thread that writes
// reports, and reserves stack for the report of a stack overflow on the calling thread.
void InstallCrashReport();

// Marks the process as dying (see common/process_ending.h), writes |line| (one made from
// |exception| when empty), tells the proxy guard to put the proxy back, writes the dump of the
// process with |exception| (the calling thread's; null for its state now) and a line naming it,
// then ends the process with |exit_code|. The report is written by a thread made for it at
// start-up, with a stack of its own and without waiting for any lock the calling thread may
// hold (the log's); the calling thread waits for it a bounded time. A fault while one is being
// reported ends its thread's part at once.
[[noreturn]] void EndOnFatalError(std::string line, EXCEPTION_POINTERS* exception, UINT exit_code);

// "keelo-20261207-172503-123-4242.dmp": time-ordered by name, whatever the process.
std::wstring CrashDumpName(const SYSTEMTIME& utc, DWORD process_id);

// Of the file names in the crashes folder, the dumps to delete so that the newest |keep| stay.
// Names that are not of dumps are never listed.
std::vector<std::wstring> CrashDumpsToDelete(std::vector<std::wstring> names, size_t keep);

// "Ending on exception 0xC0000005 at 0x00007FF6A1B2C3D4"
std::string UnhandledExceptionLine(const EXCEPTION_RECORD& record);

#endif  // RUNNER_CRASH_REPORT_H_
