#ifndef BENCH_BENCH_HOST_H_
#define BENCH_BENCH_HOST_H_

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devkit/apps/bench/bench_results.h"
#include "tests/e2e/host_process.h"

namespace keelo::bench {

// The host of the bench bundle (keelo_app.exe with the bench application as data\app.so).
std::wstring BenchHostExecutable();
// The second floor beside it (bench/engine_window.cpp), which runs the same bundle.
std::wstring BenchEngineWindowExecutable();

// The whole of the file at |path|, read until its end, since a /proc file reports no size; none
// when it cannot be opened.
std::optional<std::string> ReadWholeFile(const std::wstring& path);

// A file that the harness and the bench application share in the temporary folder: the
// application's report, or what the harness hands it. Removed (with a partial one) when made and
// when the object goes.
class BenchFilePath {
 public:
  explicit BenchFilePath(const std::wstring& purpose);
  ~BenchFilePath();

  BenchFilePath(const BenchFilePath&) = delete;
  BenchFilePath& operator=(const BenchFilePath&) = delete;

  const std::wstring& path() const { return path_; }

  // Writes |lines| to the file in UTF-8, one a line; false when it could not be written whole.
  bool WriteLines(const std::vector<std::wstring>& lines) const;

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
std::optional<devkit::BenchResults> WaitForReport(const BenchFilePath& report, RunningHost& host,
                                                  DWORD timeout_ms);

// A run of the bench host from its start to its quit, for the bench application's report.
struct HostReport {
  // None, with the reason on stderr, when the host did not start, ended first, or wrote no whole
  // report within the time.
  std::optional<devkit::BenchResults> results;
  // The host ended with 0 when asked to quit, and answered no message twice. The development
  // kit's engine passes a second answer to no one, so its line on stderr is all that tells of it.
  bool ended_cleanly = false;
};
HostReport RunBenchHostForReport(const std::wstring& arguments, const BenchFilePath& report,
                                 DWORD timeout_ms);

// The count in |results| under |key|; -1 when it is missing or not a number.
long long ReportCount(const devkit::BenchResults& results, const char* key);
// The figure in |results| under |key|; 0 when it is missing.
double ReportFigure(const devkit::BenchResults& results, const char* key);

// Asks the host to quit as its user would and waits for it to end; its exit code, or none (with
// the process terminated) when it did not end within ten seconds.
std::optional<DWORD> QuitHost(RunningHost& host);

}  // namespace keelo::bench

#endif  // BENCH_BENCH_HOST_H_
