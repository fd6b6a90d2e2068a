#include "runner/crash_report.h"

// After windows.h, which it needs.
#include <dbghelp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <optional>

#include "common/app_paths.h"
#include "common/log_file.h"
#include "common/process_ending.h"
#include "common/scoped_handles.h"
#include "common/shared_names.h"
#include "common/text_conversion.h"

namespace {

constexpr wchar_t kDumpPrefix[] = L"keelo-";
constexpr wchar_t kDumpSuffix[] = L".dmp";
constexpr std::chrono::milliseconds kLogFlushTimeout{1000};
// A dump takes well under a second on Windows and seconds under Wine. A report that is still
// not written by then (dbghelp waiting on a lock the faulting thread holds) is given up, so that
// the process ends rather than hangs.
constexpr DWORD kReportTimeoutMs = 30000;
// Enough for the filter to hand a stack overflow over to the reporting thread.
constexpr ULONG kStackGuarantee = 64 * 1024;

struct FatalError {
  std::string line;
  EXCEPTION_POINTERS* exception = nullptr;
  DWORD thread_id = 0;
};

// Only the first fault is reported: one on another thread meanwhile, or in the report itself,
// waits for the process to end.
std::atomic<bool> reporting{false};

// Made at start-up rather than when the process dies, so that a fault reaches a guard that is
// still starting too (it opens the same event, and finds it set). Kept until the process ends.
HANDLE host_ending = nullptr;
// The reporting thread, made at start-up too: a thread made while dying would wait for the
// loader's lock to start, which the faulting thread may hold.
HANDLE reporter = nullptr;
DWORD reporter_id = 0;
HANDLE report_requested = nullptr;
// Written once, before |report_requested| is set.
FatalError* report = nullptr;

bool IsDumpName(const std::wstring& name) {
  const std::wstring_view prefix = kDumpPrefix;
  const std::wstring_view suffix = kDumpSuffix;
  if (name.size() < prefix.size() + suffix.size()) return false;
  return std::wstring_view(name).substr(0, prefix.size()) == prefix &&
         std::wstring_view(name).substr(name.size() - suffix.size()) == suffix;
}

// To the standard error stream without the C runtime, whose lock the faulting thread may hold.
void WriteToStandardError(const std::string& line) {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
  const std::string with_end = line + "\n";
  DWORD written = 0;
  WriteFile(error, with_end.data(), static_cast<DWORD>(with_end.size()), &written, nullptr);
}

void WriteLine(const std::string& line) {
  WriteToStandardError(line);
  WriteLogLineWhileDying(line);
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  const ScopedFindHandle search(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                                 FindExSearchNameMatch, nullptr, 0));
  if (!search) return names;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(found.cFileName);
  } while (FindNextFileW(search.get(), &found));
  return names;
}

// Wine's dbghelp walks each thread's stack through the symbols of every module on it, Wine's own
// libraries included, before it writes a dump: seconds on a busy machine, while the process that
// faulted waits to end. Told first that the process's symbols are handled, and of no module, it
// writes the threads' contexts and the module list at once, without the stacks' memory. Windows
// writes its dump without the symbol handler, whatever it was told.
void KeepTheDumpFromLoadingSymbols() {
  SymSetOptions(SYMOPT_DEFERRED_LOADS);
  SymInitializeW(GetCurrentProcess(), nullptr, FALSE);
}

// The dump's path; nothing when none could be written.
std::optional<std::wstring> WriteCrashDump(const FatalError& error) {
  const std::optional<std::wstring> folder = LocalDataFolder(L"crashes");
  if (!folder || !CreateFolderWithParents(*folder)) return std::nullopt;
  SYSTEMTIME now;
  GetSystemTime(&now);
  const std::wstring path = *folder + L"\\" + CrashDumpName(now, GetCurrentProcessId());
  {
    const ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    KeepTheDumpFromLoadingSymbols();
    MINIDUMP_EXCEPTION_INFORMATION exception = {};
    exception.ThreadId = error.thread_id;
    exception.ExceptionPointers = error.exception;
    exception.ClientPointers = FALSE;
    const bool written =
        MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file.get(), MiniDumpNormal,
                          error.exception != nullptr ? &exception : nullptr, nullptr,
                          nullptr) != FALSE;
    if (!written) {
      DeleteFileW(path.c_str());
      return std::nullopt;
    }
  }
  for (const std::wstring& name : CrashDumpsToDelete(FilesIn(*folder), kKeptCrashDumps)) {
    DeleteFileW((*folder + L"\\" + name).c_str());
  }
  return path;
}

// The reporting thread: sleeps until a fatal error is to be reported, reports it and ends.
DWORD WINAPI ReportFatalError(void*) noexcept {
  if (WaitForSingleObject(report_requested, INFINITE) != WAIT_OBJECT_0) return 0;
  const FatalError& error = *report;
  WriteLine(error.line.empty() && error.exception != nullptr
                ? UnhandledExceptionLine(*error.exception->ExceptionRecord)
                : error.line);
  // The proxy guard, if this host has one, puts the user's proxy back now rather than once the
  // dump is written and the process gone; nothing in this process is trusted to do it.
  if (host_ending != nullptr) SetEvent(host_ending);
  FlushProcessLogWhileDying(kLogFlushTimeout);
  const std::optional<std::wstring> dump = WriteCrashDump(error);
  WriteLine(dump ? "Crash dump written to " + WideToUtf8(*dump) : "No crash dump could be written");
  FlushProcessLogWhileDying(kLogFlushTimeout);
  return 0;
}

LONG WINAPI ReportUnhandledException(EXCEPTION_POINTERS* exception) noexcept {
  EndOnFatalError(std::string(), exception, exception->ExceptionRecord->ExceptionCode);
}

}  // namespace

void InstallCrashReport() {
  host_ending =
      CreateEventW(nullptr, TRUE, FALSE, HostEndingEventName(GetCurrentProcessId()).c_str());
  report_requested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (report_requested != nullptr) {
    reporter = CreateThread(nullptr, 0, &ReportFatalError, nullptr, 0, &reporter_id);
  }
  ULONG guarantee = kStackGuarantee;
  SetThreadStackGuarantee(&guarantee);
  SetUnhandledExceptionFilter(&ReportUnhandledException);
}

void EndOnFatalError(std::string line, EXCEPTION_POINTERS* exception, UINT exit_code) {
  MarkProcessEnding();
  // Whatever happens to the report, the guard is told first when the thread has no stack left
  // to report with.
  if (exception != nullptr &&
      exception->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW &&
      host_ending != nullptr) {
    SetEvent(host_ending);
  }
  if (reporting.exchange(true)) {
    // The report itself failed: nothing more can be written.
    if (GetCurrentThreadId() == reporter_id) TerminateProcess(GetCurrentProcess(), exit_code);
    // Another thread's fault meanwhile: the first report ends the process.
    for (;;) Sleep(INFINITE);
  }
  if (reporter != nullptr) {
    // Kept for the reporting thread, which may still read it after the timeout below.
    report = new FatalError{std::move(line), exception, GetCurrentThreadId()};
    SetEvent(report_requested);
    WaitForSingleObject(reporter, kReportTimeoutMs);
  } else {
    WriteLine(line.empty() && exception != nullptr
                  ? UnhandledExceptionLine(*exception->ExceptionRecord)
                  : line);
    if (host_ending != nullptr) SetEvent(host_ending);
  }
  // Not ExitProcess, and not a return to the system: both would run the detach code of every
  // library of a process that has just faulted.
  TerminateProcess(GetCurrentProcess(), exit_code);
  for (;;) Sleep(INFINITE);
}

std::wstring CrashDumpName(const SYSTEMTIME& utc, DWORD process_id) {
  wchar_t name[64];
  std::swprintf(name, std::size(name), L"keelo-%04u%02u%02u-%02u%02u%02u-%03u-%lu.dmp", utc.wYear,
                utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond, utc.wMilliseconds,
                static_cast<unsigned long>(process_id));
  return name;
}

std::vector<std::wstring> CrashDumpsToDelete(std::vector<std::wstring> names, size_t keep) {
  std::erase_if(names, [](const std::wstring& name) { return !IsDumpName(name); });
  if (names.size() <= keep) return {};
  // Newest last: the names begin with the time, in fixed widths.
  std::sort(names.begin(), names.end());
  names.resize(names.size() - keep);
  return names;
}

std::string UnhandledExceptionLine(const EXCEPTION_RECORD& record) {
  char line[96];
  std::snprintf(
      line, sizeof(line), "Ending on exception 0x%08lX at 0x%016llX",
      static_cast<unsigned long>(record.ExceptionCode),
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(record.ExceptionAddress)));
  return line;
}
