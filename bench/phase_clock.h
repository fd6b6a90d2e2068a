#ifndef BENCH_PHASE_CLOCK_H_
#define BENCH_PHASE_CLOCK_H_

#include <windows.h>

#include <array>
#include <cstddef>

namespace keelo::bench {

// The steps of a catalogue that the profile of "listApps" times apart.
enum class Phase {
  // The walk: listing the Start menu's folders, and per shortcut.
  kListFolders,
  kCreateLink,
  kLoadLink,
  kReadLink,
  kMergeShortcut,
  // The window pass: the enumeration with its cheap tests (visible, owner, extended style), then
  // per window that passes them.
  kEnumerate,
  kTitle,
  kCloaked,
  kOpenProcess,
  kImagePath,
  kVersionSize,
  kVersionBlock,
  kVersionQuery,
  kMergeWindow,
  kCount,
};

const char* PhaseName(Phase phase);

// The time spent in each phase, summed over whatever was timed with it.
class PhaseClock {
 public:
  PhaseClock();

  template <typename Work>
  auto Time(Phase phase, Work&& work) {
    const long long start = Ticks();
    struct Stop {
      PhaseClock* clock;
      Phase phase;
      long long start;
      ~Stop() { clock->ticks_[static_cast<size_t>(phase)] += Ticks() - start; }
    } stop{this, phase, start};
    return work();
  }

  double Microseconds(Phase phase) const;

 private:
  static long long Ticks() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
  }

  std::array<long long, static_cast<size_t>(Phase::kCount)> ticks_{};
  long long frequency_ = 1;
};

// |work|'s result, timed on |clock| when there is one.
template <typename Work>
auto Timed(PhaseClock* clock, Phase phase, Work&& work) {
  if (clock == nullptr) return work();
  return clock->Time(phase, work);
}

}  // namespace keelo::bench

#endif  // BENCH_PHASE_CLOCK_H_
