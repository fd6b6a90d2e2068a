#include "bridge/tray_retry.h"

namespace {

constexpr UINT kFirstDelayMs = 1000;
constexpr UINT kLongestDelayMs = 120000;

}  // namespace

UINT TrayAddRetryDelayMs(int failures) {
  UINT delay = kFirstDelayMs;
  for (int doubled = 1; doubled < failures && delay < kLongestDelayMs; ++doubled) delay *= 2;
  return delay < kLongestDelayMs ? delay : kLongestDelayMs;
}
