#include "proxy/guard_process.h"

#include <windows.h>

std::wstring GuardArguments(const ProcessIdentity& host, const wchar_t* switch_name) {
  std::wstring arguments;
  if (switch_name != nullptr) arguments.append(switch_name).append(L" ");
  arguments.append(std::to_wstring(host.id)).append(L" ").append(std::to_wstring(host.created));
  return arguments;
}

ScopedHandle StartGuardProcess(const std::wstring& guard_path, const std::wstring& arguments) {
  std::wstring command_line = L"\"" + guard_path + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  BOOL created = CreateProcessW(guard_path.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                                CREATE_BREAKAWAY_FROM_JOB, nullptr, nullptr, &startup, &started);
  if (!created && GetLastError() == ERROR_ACCESS_DENIED) {
    created = CreateProcessW(guard_path.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0,
                             nullptr, nullptr, &startup, &started);
  }
  if (!created) return ScopedHandle();
  CloseHandle(started.hThread);
  return ScopedHandle(started.hProcess);
}
