#include "runner/command_line.h"

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <cwchar>

#include "common/scoped_handles.h"
#include "common/text_conversion.h"

namespace {

constexpr wchar_t kMinimizedSwitch[] = L"--minimized";

}  // namespace

std::vector<std::string> ArgumentsAsUtf8() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return {};
  const ScopedLocalMemory arguments_memory(arguments);
  std::vector<std::string> utf8_arguments;
  // Index 0 is the program name, which the UI application is not given.
  for (int i = 1; i < count; ++i) utf8_arguments.push_back(WideToUtf8(arguments[i]));
  return utf8_arguments;
}

bool RequestsMinimizedStart(const wchar_t* command_line) {
  return command_line != nullptr && std::wcsstr(command_line, kMinimizedSwitch) != nullptr;
}

bool RegisterRestartAfterUpdate() {
  return SUCCEEDED(
      RegisterApplicationRestart(kMinimizedSwitch, RESTART_NO_CRASH | RESTART_NO_HANG));
}
