#include "runner/crash_report.h"

// After windows.h, which it needs.
#include <dbghelp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <memory>
#include <optional>

#include "common/app_paths.h"
#include "common/log_file.h"
#include "common/scoped_handles.h"
#include "common/shared_names.h"
#include "common/text_conversion.h"
#include "messaging/diagnostics.h"

namespace {

constexpr wchar_t kDumpPrefix[] = L"keelo-";
constexpr wchar_t kDumpSuffix[] = L".dmp";
constexpr std::chrono::milliseconds kLogFlushTimeout{1000};
// A dump takes well under a second on Windows and seconds under Wine. One that is still not
// written by then (dbghelp waiting on a lock the faulting thread holds) is given up, so that the
// process ends rather than hangs.
constexpr DWORD kDumpTimeoutMs = 30000;

// Only the first fault is reported: one on another thread meanwhile, or in the report itself,
// ends the process without a second dump.
std::atomic<bool> reporting{false};

// Made at start-up rather than when the process dies, so that a fault reaches a guard that is
// still starting too (it opens the same event, and finds it set). Kept until the process ends.
HANDLE host_ending = nullptr;

bool IsDumpName(const std::wstring& name) {
  const std::wstring_view prefix = kDumpPrefix;
  const std::wstring_view suffix = kDumpSuffix;
  if (name.size() < prefix.size() + suffix.size()) return false;
  return std::wstring_view(name).substr(0, prefix.size()) == prefix &&
         std::wstring_view(name).substr(name.size() - suffix.size()) == suffix;
}

struct DumpRequest {
  EXCEPTION_POINTERS* exception;
  DWORD thread_id;
  std::wstring path;
  bool written = false;
};

// Runs on a thread of its own: the faulting thread may have no stack left, and dbghelp reads
// the state of a thread best from another one.
DWORD WINAPI WriteDump(void* context) {
  auto* request = static_cast<DumpRequest*>(context);
  const ScopedFileHandle file(CreateFileW(request->path.c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 0;
  MINIDUMP_EXCEPTION_INFORMATION exception = {};
  exception.ThreadId = request->thread_id;
  exception.ExceptionPointers = request->exception;
  exception.ClientPointers = FALSE;
  request->written =
      MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file.get(), MiniDumpNormal,
                        request->exception != nullptr ? &exception : nullptr, nullptr,
                        nullptr) != FALSE;
  return 0;
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

// The dump's path; nothing when none could be written.
std::optional<std::wstring> WriteCrashDump(EXCEPTION_POINTERS* exception) {
  const std::optional<std::wstring> folder = LocalDataFolder(L"crashes");
  if (!folder || !CreateFolderWithParents(*folder)) return std::nullopt;
  SYSTEMTIME now;
  GetSystemTime(&now);
  auto request = std::make_unique<DumpRequest>(
      DumpRequest{exception, GetCurrentThreadId(),
                  *folder + L"\\" + CrashDumpName(now, GetCurrentProcessId())});
  const ScopedHandle writer(CreateThread(nullptr, 0, &WriteDump, request.get(), 0, nullptr));
  if (!writer) return std::nullopt;
  if (WaitForSingleObject(writer.get(), kDumpTimeoutMs) != WAIT_OBJECT_0) {
    // Left to the writer, which may still use it; the process ends right after.
    static_cast<void>(request.release());
    return std::nullopt;
  }
  const std::wstring path = request->path;
  if (!request->written) {
    DeleteFileW(path.c_str());
    return std::nullopt;
  }
  for (const std::wstring& name : CrashDumpsToDelete(FilesIn(*folder), kKeptCrashDumps)) {
    DeleteFileW((*folder + L"\\" + name).c_str());
  }
  return path;
}

LONG WINAPI ReportUnhandledException(EXCEPTION_POINTERS* exception) noexcept {
  ReportFatalError(UnhandledExceptionLine(*exception->ExceptionRecord), exception);
  // Ends the process with the exception's code, without the system's error report.
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void InstallCrashReport() {
  host_ending =
      CreateEventW(nullptr, TRUE, FALSE, HostEndingEventName(GetCurrentProcessId()).c_str());
  SetUnhandledExceptionFilter(&ReportUnhandledException);
}

void ReportFatalError(std::string_view line, EXCEPTION_POINTERS* exception) {
  if (reporting.exchange(true)) return;
  // The proxy guard, if this host has one, puts the user's proxy back now rather than once the
  // dump is written and the process gone; nothing in this process is trusted to do it.
  if (host_ending != nullptr) SetEvent(host_ending);
  flutter::WriteDiagnosticLine(line);
  const std::optional<std::wstring> dump = WriteCrashDump(exception);
  if (dump) {
    flutter::WriteDiagnosticLine("Crash dump written to ", WideToUtf8(*dump));
  } else {
    flutter::WriteDiagnosticLine("No crash dump could be written");
  }
  FlushProcessLog(kLogFlushTimeout);
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
