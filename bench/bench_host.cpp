#include "bench/bench_host.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "common/scoped_handles.h"
#include "common/text_conversion.h"
#include "tests/e2e/host_control.h"
#include "tests/support/fixtures.h"
#include "tests/support/host_bundle.h"

namespace keelo::bench {
namespace {

constexpr DWORD kWindowTimeoutMs = 30000;
constexpr DWORD kExitTimeoutMs = 10000;
constexpr DWORD kReportPollMs = 20;
constexpr char kDoubleAnswerLine[] = "a response to a message that awaits none";

void PrintHostOutput(keelo::testing::ChildProcess& process) {
  const std::string output = process.Output();
  if (!output.empty()) std::fprintf(stderr, "host output:\n%s\n", output.c_str());
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  const ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string text;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    text.append(buffer, read);
  }
  return text;
}

std::wstring BenchHostExecutable() {
  return keelo::testing::HostIn(keelo::testing::WindowsPathOf(KEELO_BENCH_BUNDLE_DIR));
}

std::wstring BenchEngineWindowExecutable() {
  return keelo::testing::WindowsPathOf(KEELO_BENCH_BUNDLE_DIR) + L"\\engine_window.exe";
}

BenchFilePath::BenchFilePath(const std::wstring& purpose) {
  wchar_t temp[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, temp);
  path_ = std::wstring(temp, length) + L"keelo-host-bench-" + purpose + L"-" +
          std::to_wstring(GetCurrentProcessId()) + L".txt";
  Remove();
}

BenchFilePath::~BenchFilePath() { Remove(); }

bool BenchFilePath::WriteLines(const std::vector<std::wstring>& lines) const {
  std::string text;
  for (const std::wstring& line : lines) text += WideToUtf8(line) + "\n";
  const ScopedFileHandle file(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file &&
         WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

void BenchFilePath::Remove() const {
  DeleteFileW(path_.c_str());
  DeleteFileW((path_ + L".partial").c_str());
}

std::optional<RunningHost> StartBenchHost(const std::wstring& arguments) {
  RunningHost host;
  host.process = keelo::testing::StartHostProcess(BenchHostExecutable(), arguments);
  if (host.process == nullptr) {
    std::fprintf(stderr, "cannot start %ls (error %lu)\n", BenchHostExecutable().c_str(),
                 GetLastError());
    return std::nullopt;
  }
  host.window = keelo::testing::WaitForHostWindow(host.process->id(), kWindowTimeoutMs);
  if (host.window == nullptr) {
    std::fprintf(stderr, "the host made no window within %lu ms\n", kWindowTimeoutMs);
    PrintHostOutput(*host.process);
    return std::nullopt;
  }
  return host;
}

std::optional<devkit::BenchResults> WaitForReport(const BenchFilePath& report, RunningHost& host,
                                                  DWORD timeout_ms) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (GetFileAttributesW(report.path().c_str()) != INVALID_FILE_ATTRIBUTES) break;
    if (host.process->WaitForExit(0)) {
      std::fprintf(stderr, "the host ended before the bench application reported\n");
      PrintHostOutput(*host.process);
      return std::nullopt;
    }
    if (GetTickCount64() - start >= timeout_ms) {
      std::fprintf(stderr, "no report from the bench application within %lu ms\n", timeout_ms);
      PrintHostOutput(*host.process);
      return std::nullopt;
    }
    Sleep(kReportPollMs);
  }
  std::optional<devkit::BenchResults> results =
      devkit::BenchResults::Parse(ReadWholeFile(report.path()).value_or(std::string()));
  if (!results) std::fprintf(stderr, "the bench application's report is incomplete\n");
  return results;
}

HostReport RunBenchHostForReport(const std::wstring& arguments, const BenchFilePath& report,
                                 DWORD timeout_ms) {
  HostReport run;
  std::optional<RunningHost> host = StartBenchHost(arguments);
  if (!host) return run;
  run.results = WaitForReport(report, *host, timeout_ms);
  const std::optional<DWORD> exit_code = QuitHost(*host);
  run.ended_cleanly = exit_code == 0u;
  if (!run.ended_cleanly) {
    std::fprintf(stderr, "the host ended with %ld after the run\n",
                 exit_code ? static_cast<long>(*exit_code) : -1L);
  }
  const std::string output = host->process->Output();
  if (output.find(kDoubleAnswerLine) != std::string::npos) {
    std::fprintf(stderr, "the host answered a message twice:\n%s\n", output.c_str());
    run.ended_cleanly = false;
  }
  return run;
}

long long ReportCount(const devkit::BenchResults& results, const char* key) {
  const std::string* value = results.Find(key);
  if (value == nullptr || value->empty()) return -1;
  char* end = nullptr;
  const long long count = std::strtoll(value->c_str(), &end, 10);
  return *end == '\0' ? count : -1;
}

double ReportFigure(const devkit::BenchResults& results, const char* key) {
  const std::string* value = results.Find(key);
  return value != nullptr ? std::strtod(value->c_str(), nullptr) : 0;
}

std::optional<DWORD> QuitHost(RunningHost& host) {
  keelo::testing::AskHostToQuit(host.window);
  std::optional<DWORD> code = host.process->WaitForExit(kExitTimeoutMs);
  if (!code) {
    std::fprintf(stderr, "the host did not end within %lu ms of being asked to quit\n",
                 kExitTimeoutMs);
    PrintHostOutput(*host.process);
  }
  return code;
}

}  // namespace keelo::bench
