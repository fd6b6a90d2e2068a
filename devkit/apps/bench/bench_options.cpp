#include "devkit/apps/bench/bench_options.h"

#include <charconv>
#include <string_view>

namespace devkit {
namespace {

// The value of |argument| when it is |prefix| followed by one.
bool TakeValue(std::string_view argument, std::string_view prefix, std::string* value) {
  if (argument.substr(0, prefix.size()) != prefix) return false;
  *value = std::string(argument.substr(prefix.size()));
  return true;
}

// |value| as a positive count into |count|; otherwise |count| is kept and |error| set.
void TakeCount(const std::string& option, const std::string& value, size_t* count,
               std::string* error) {
  size_t parsed = 0;
  const auto [end, failure] = std::from_chars(value.data(), value.data() + value.size(), parsed);
  if (failure != std::errc() || end != value.data() + value.size() || parsed == 0) {
    *error = option + " wants a positive number, not \"" + value + "\"";
  } else {
    *count = parsed;
  }
}

}  // namespace

BenchOptions ParseBenchOptions(const std::vector<std::string>& arguments, std::string* error) {
  BenchOptions options;
  for (const std::string& argument : arguments) {
    std::string value;
    if (TakeValue(argument, "--bench-mode=", &value)) {
      if (value == "roundtrip") {
        options.mode = BenchOptions::Mode::kRoundTrip;
      } else if (value == "idle") {
        options.mode = BenchOptions::Mode::kIdle;
      } else if (value == "scan") {
        options.mode = BenchOptions::Mode::kScan;
      } else {
        *error = "unknown bench mode \"" + value + "\"";
      }
    } else if (TakeValue(argument, "--bench-out=", &value)) {
      options.out = value;
    } else if (TakeValue(argument, "--bench-channel=", &value)) {
      options.channel = value;
    } else if (TakeValue(argument, "--bench-control=", &value)) {
      options.control = value;
    } else if (TakeValue(argument, "--bench-calls=", &value)) {
      TakeCount("--bench-calls", value, &options.calls, error);
    } else if (TakeValue(argument, "--bench-scans=", &value)) {
      TakeCount("--bench-scans", value, &options.scans, error);
    } else if (TakeValue(argument, "--bench-scan=", &value)) {
      if (value == "listApps" || value == "getIcons") {
        options.scan_method = value;
      } else {
        *error = "unknown scan method \"" + value + "\"";
      }
    } else if (TakeValue(argument, "--bench-items=", &value)) {
      options.items = value;
    }
  }
  return options;
}

}  // namespace devkit
