#ifndef DEVKIT_APPS_BENCH_REPORT_FILE_H_
#define DEVKIT_APPS_BENCH_REPORT_FILE_H_

#include <string>

#include "devkit/apps/bench/bench_results.h"

namespace devkit {

// Writes |results| to |path| (UTF-8) in one step: into "<path>.partial" first, then renamed over
// |path|, so that a harness polling for the file never reads half of it.
bool WriteReportFile(const std::string& path, const BenchResults& results);

}  // namespace devkit

#endif  // DEVKIT_APPS_BENCH_REPORT_FILE_H_
