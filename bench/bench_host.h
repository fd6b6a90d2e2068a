#ifndef BENCH_BENCH_HOST_H_
#define BENCH_BENCH_HOST_H_

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "devkit/apps/bench/bench_results.h"
#include "tests/e2e/host_process.h"

namespace keelo::bench {

// The host of the bench bundle (keelo_app.exe with the bench application as data\app.so).
std::wstring BenchHostExecutable();

// A report file of the bench application in the temporary folder, removed (with a partial one)
// when made and when the object goes.
class ReportPath {
 public:
  explicit ReportPath(const std::wstring& purpose);
  ~ReportPath();

  ReportPath(const ReportPath&) = delete;
  ReportPath& operator=(const ReportPath&) = delete;

  const std::wstring& path() const { return path_; }

 private:
  void Remove() const;

  std::wstring path_;
};

// A bench host started and found: its window exists. Null, with the reason on stderr, when the
// host did not start or showed no window within 30 seconds.
struct RunningHost {
  std::unique_ptr<keelo::testing::ChildProcess> process;
  HWND window = nullptr;
};
std::optional<RunningHost> StartBenchHost(const std::wstring& arguments);

// Waits for the bench application's report while the host runs. None, with the reason and the
// host's output on stderr, when the host ended first, the time ran out, or the report is cut.
std::optional<devkit::BenchResults> WaitForReport(const ReportPath& report, RunningHost& host,
                                                  DWORD timeout_ms);

// Asks the host to quit as its user would and waits for it to end; its exit code, or none (with
// the process terminated) when it did not end within ten seconds.
std::optional<DWORD> QuitHost(RunningHost& host);

}  // namespace keelo::bench

#endif  // BENCH_BENCH_HOST_H_
