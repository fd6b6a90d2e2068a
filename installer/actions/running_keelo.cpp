#include "installer/actions/running_keelo.h"

// After windows.h, which it needs.
#include <tlhelp32.h>

#include <utility>

#include "common/scoped_handles.h"
#include "common/shared_names.h"

namespace {

// The longest path the system can give, in characters with the terminating NUL.
constexpr DWORD kLongestPath = 32768;

std::wstring_view WithoutClosingBackslashes(std::wstring_view path) {
  while (!path.empty() && path.back() == L'\\') path.remove_suffix(1);
  return path;
}

std::wstring ProcessImagePath(HANDLE process) {
  std::wstring path(kLongestPath, L'\0');
  DWORD length = kLongestPath;
  if (!QueryFullProcessImageNameW(process, 0, path.data(), &length)) return std::wstring();
  path.resize(length);
  return path;
}

// Waits for each of |processes| in turn, all of them within |timeout_ms| from now.
void WaitForAll(const std::vector<ScopedHandle>& processes, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (const ScopedHandle& process : processes) {
    const DWORD waited = GetTickCount() - start;
    WaitForSingleObject(process.get(), waited < timeout_ms ? timeout_ms - waited : 0);
  }
}

}  // namespace

bool IsProgramIn(std::wstring_view program, std::wstring_view folder) {
  const size_t name_start = program.rfind(L'\\');
  if (name_start == std::wstring_view::npos || name_start + 1 == program.size()) return false;
  const std::wstring_view program_folder = program.substr(0, name_start);
  folder = WithoutClosingBackslashes(folder);
  if (folder.empty()) return false;
  return CompareStringOrdinal(program_folder.data(), static_cast<int>(program_folder.size()),
                              folder.data(), static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

std::vector<DWORD> QuitKeeloRunningFrom(std::wstring_view folder, DWORD timeout_ms) {
  // Gathered before any is asked: a host that quits takes its window along, and the search
  // cannot go on from a window that is gone.
  std::vector<HWND> windows;
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, kWindowClassName, kWindowTitle)) != nullptr) {
    windows.push_back(window);
  }

  const UINT quit = RegisterWindowMessageW(kQuitMessageName);
  std::vector<DWORD> asked;
  std::vector<ScopedHandle> quitting;
  for (HWND host_window : windows) {
    DWORD process_id = 0;
    GetWindowThreadProcessId(host_window, &process_id);
    ScopedHandle process(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
    if (!process || !IsProgramIn(ProcessImagePath(process.get()), folder)) continue;
    // Posted: a host that does not answer must not hold the installation up beyond the wait.
    if (!PostMessageW(host_window, quit, 0, 0)) continue;
    asked.push_back(process_id);
    quitting.push_back(std::move(process));
  }

  WaitForAll(quitting, timeout_ms);
  return asked;
}

void WaitForProxyGuardsIn(std::wstring_view folder, DWORD timeout_ms) {
  const ScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return;
  std::vector<ScopedHandle> guards;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (CompareStringOrdinal(entry.szExeFile, -1, kProxyGuardExecutable, -1, TRUE) != CSTR_EQUAL) {
      continue;
    }
    ScopedHandle process(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (process && IsProgramIn(ProcessImagePath(process.get()), folder)) {
      guards.push_back(std::move(process));
    }
  }
  WaitForAll(guards, timeout_ms);
}
