#ifndef BENCH_CATALOGUE_PROFILE_H_
#define BENCH_CATALOGUE_PROFILE_H_

#include <cstddef>

#include "bench/phase_clock.h"

namespace keelo::bench {

// What one profiled catalogue went through.
struct CatalogueProfile {
  size_t folders = 0;
  size_t shortcuts = 0;
  // Every top-level window, and those that passed the cheap tests, the title and the compositor.
  size_t windows_enumerated = 0;
  size_t windows_examined = 0;
  // Windows whose program was new to the catalogue, so that its version resource was read.
  size_t windows_described = 0;
};

// One catalogue of this machine made as the host makes it (the walk of both Programs folders with
// the host's name tests and merge, then the window pass), with a clock around each system call.
// Needs COM on the calling thread.
CatalogueProfile ProfileCatalogue(PhaseClock& clock);

}  // namespace keelo::bench

#endif  // BENCH_CATALOGUE_PROFILE_H_
