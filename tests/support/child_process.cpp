#include "tests/support/child_process.h"

#include <utility>
#include <vector>

#include "tests/support/output_capture.h"

namespace keelo::testing {
namespace {

constexpr DWORD kTerminatedExitCode = 255;

}  // namespace

std::wstring QuotedArgument(const std::wstring& argument) {
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t character : argument) {
    if (character == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are literal unless a quote follows them: then each pair reads as one.
    const size_t escapes = character == L'"' ? backslashes + 1 : 0;
    quoted.append(backslashes + escapes, L'\\');
    quoted.push_back(character);
    backslashes = 0;
  }
  // The closing quote follows the last ones, so they are doubled as well.
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

std::wstring SystemProgram(const std::wstring& file_name) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  return std::wstring(system) + L"\\" + file_name;
}

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::wstring& executable,
                                                  const std::wstring& arguments,
                                                  const LaunchOptions& options) {
  std::unique_ptr<OutputCapture> output;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (options.capture_output) {
    output = OutputCapture::Create();
    if (output == nullptr) return nullptr;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output->write_end();
    startup.hStdError = output->write_end();
  }

  std::wstring command_line = L"\"" + executable + L"\"";
  if (!arguments.empty()) command_line += L" " + arguments;
  std::vector<wchar_t> writable(command_line.begin(), command_line.end());
  writable.push_back(L'\0');

  PROCESS_INFORMATION started = {};
  const BOOL inherit_handles = output != nullptr ? TRUE : FALSE;
  const wchar_t* working_directory =
      options.working_directory.empty() ? nullptr : options.working_directory.c_str();
  if (!CreateProcessW(executable.c_str(), writable.data(), nullptr, nullptr, inherit_handles, 0,
                      nullptr, working_directory, &startup, &started)) {
    // Ending the capture's reader must not change what the caller reads from GetLastError().
    const DWORD error = GetLastError();
    output.reset();
    SetLastError(error);
    return nullptr;
  }
  if (output != nullptr) output->CloseWriteEnd();
  const ScopedHandle thread(started.hThread);
  return std::unique_ptr<ChildProcess>(new ChildProcess(
      ScopedHandle(started.hProcess), started.dwProcessId, options, std::move(output)));
}

ChildProcess::ChildProcess(ScopedHandle process, DWORD id, const LaunchOptions& options,
                           std::unique_ptr<OutputCapture> output)
    : process_(std::move(process)),
      id_(id),
      terminate_timeout_ms_(options.terminate_timeout_ms),
      output_(std::move(output)) {}

ChildProcess::~ChildProcess() { Terminate(); }

std::optional<DWORD> ChildProcess::WaitForExit(DWORD timeout_ms) {
  if (WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  if (output_ != nullptr) output_->Stop();
  return code;
}

void ChildProcess::Terminate() {
  if (WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), kTerminatedExitCode);
    WaitForSingleObject(process_.get(), terminate_timeout_ms_);
  }
}

std::string ChildProcess::Output() const {
  return output_ != nullptr ? output_->Text() : std::string();
}

}  // namespace keelo::testing
