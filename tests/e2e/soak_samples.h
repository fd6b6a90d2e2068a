#ifndef TESTS_E2E_SOAK_SAMPLES_H_
#define TESTS_E2E_SOAK_SAMPLES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/e2e/process_metrics.h"

namespace keelo::testing {

// The host's figures after |calls| calls of a long run.
struct SoakSample {
  size_t calls = 0;
  ProcessMetrics metrics;
};

// How far a figure may rise above the first sample after warm-up before it counts as a leak.
struct SoakAllowances {
  DWORD handles = 0;
  uint64_t private_bytes = 0;
};

// One line per sample: calls, handles, GDI and USER objects, private bytes (KiB).
std::string FormatSamples(const std::vector<SoakSample>& samples);

// What the samples show wrong, one line each; none when the host held steady. The first sample
// is taken before any call and only shown; the second, after the first tenth of the run, when
// everything loaded on first use is loaded, is the one the later ones are held against. Handles
// and private bytes may rise by their allowance and no more, and private bytes may not follow a
// rising line either: a least-squares fit over the later samples may climb by at most half the
// allowance over the span they cover. GDI and USER objects must stay exactly as they were,
// where the system counts them (|gui_counts_available|).
std::vector<std::string> SampleFaults(const std::vector<SoakSample>& samples,
                                      const SoakAllowances& allowances, bool gui_counts_available);

}  // namespace keelo::testing

#endif  // TESTS_E2E_SOAK_SAMPLES_H_
