#include "bench/phase_clock.h"

namespace keelo::bench {

const char* PhaseName(Phase phase) {
  switch (phase) {
    case Phase::kListFolders:
      return "list the folders";
    case Phase::kCreateLink:
      return "create the shell link";
    case Phase::kLoadLink:
      return "load the shortcut";
    case Phase::kReadLink:
      return "read target and arguments";
    case Phase::kMergeShortcut:
      return "name tests and merge";
    case Phase::kEnumerate:
      return "enumerate, visible, owner, style";
    case Phase::kTitle:
      return "title";
    case Phase::kCloaked:
      return "cloaked";
    case Phase::kOpenProcess:
      return "process id and open";
    case Phase::kImagePath:
      return "image path";
    case Phase::kVersionSize:
      return "version size";
    case Phase::kVersionBlock:
      return "version block";
    case Phase::kVersionQuery:
      return "version query";
    case Phase::kMergeWindow:
      return "merge";
    case Phase::kCount:
      break;
  }
  return "?";
}

PhaseClock::PhaseClock() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  frequency_ = frequency.QuadPart;
}

double PhaseClock::Microseconds(Phase phase) const {
  return static_cast<double>(ticks_[static_cast<size_t>(phase)]) * 1e6 /
         static_cast<double>(frequency_);
}

}  // namespace keelo::bench
