#include "tests/e2e/soak_samples.h"

#include <cstdio>

namespace keelo::testing {
namespace {

constexpr uint64_t kKibibyte = 1024;

std::string Row(const char* format, size_t calls, DWORD handles, DWORD gdi, DWORD user,
                uint64_t kib) {
  char line[128];
  std::snprintf(line, sizeof(line), format, calls, static_cast<unsigned>(handles),
                static_cast<unsigned>(gdi), static_cast<unsigned>(user),
                static_cast<unsigned long long>(kib));
  return line;
}

// The rise over the samples' span of the least-squares line through private bytes by calls.
double FittedRise(const std::vector<SoakSample>& samples, size_t first) {
  const double count = static_cast<double>(samples.size() - first);
  double mean_x = 0;
  double mean_y = 0;
  for (size_t i = first; i < samples.size(); ++i) {
    mean_x += static_cast<double>(samples[i].calls) / count;
    mean_y += static_cast<double>(samples[i].metrics.private_bytes) / count;
  }
  double covariance = 0;
  double variance = 0;
  for (size_t i = first; i < samples.size(); ++i) {
    const double dx = static_cast<double>(samples[i].calls) - mean_x;
    covariance += dx * (static_cast<double>(samples[i].metrics.private_bytes) - mean_y);
    variance += dx * dx;
  }
  if (variance == 0) return 0;
  const double span =
      static_cast<double>(samples.back().calls) - static_cast<double>(samples[first].calls);
  return covariance / variance * span;
}

}  // namespace

std::string FormatSamples(const std::vector<SoakSample>& samples) {
  std::string table = "     calls   handles       GDI      USER  private KiB\n";
  for (const SoakSample& sample : samples) {
    const ProcessMetrics& m = sample.metrics;
    table += Row("%10zu %9u %9u %9u %12llu\n", sample.calls, m.handles, m.gdi_objects,
                 m.user_objects, m.private_bytes / kKibibyte);
  }
  return table;
}

std::vector<std::string> SampleFaults(const std::vector<SoakSample>& samples,
                                      const SoakAllowances& allowances, bool gui_counts_available) {
  std::vector<std::string> faults;
  // Before the mix, and after its first tenth; a judgement needs one more.
  constexpr size_t kBaseline = 1;
  if (samples.size() < kBaseline + 2) {
    faults.push_back("too few samples to judge: " + std::to_string(samples.size()));
    return faults;
  }
  const ProcessMetrics& base = samples[kBaseline].metrics;
  for (size_t i = kBaseline + 1; i < samples.size(); ++i) {
    const ProcessMetrics& m = samples[i].metrics;
    const std::string at = " after " + std::to_string(samples[i].calls) + " calls";
    if (m.handles > base.handles + allowances.handles) {
      faults.push_back("handles rose from " + std::to_string(base.handles) + " to " +
                       std::to_string(m.handles) + at);
    }
    if (m.private_bytes > base.private_bytes + allowances.private_bytes) {
      faults.push_back("private bytes rose from " + std::to_string(base.private_bytes) + " to " +
                       std::to_string(m.private_bytes) + at);
    }
    if (gui_counts_available && m.gdi_objects != base.gdi_objects) {
      faults.push_back("GDI objects went from " + std::to_string(base.gdi_objects) + " to " +
                       std::to_string(m.gdi_objects) + at);
    }
    if (gui_counts_available && m.user_objects != base.user_objects) {
      faults.push_back("USER objects went from " + std::to_string(base.user_objects) + " to " +
                       std::to_string(m.user_objects) + at);
    }
  }
  const double rise = FittedRise(samples, kBaseline);
  if (rise > static_cast<double>(allowances.private_bytes) / 2) {
    faults.push_back("private bytes follow a rising line: " +
                     std::to_string(static_cast<long long>(rise)) + " bytes over the run");
  }
  return faults;
}

}  // namespace keelo::testing
