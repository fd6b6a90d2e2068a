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
      size_t calls = 0;
      const auto [end, failure] = std::from_chars(value.data(), value.data() + value.size(), calls);
      if (failure != std::errc() || end != value.data() + value.size() || calls == 0) {
        *error = "--bench-calls wants a positive number, not \"" + value + "\"";
      } else {
        options.calls = calls;
      }
    }
  }
  return options;
}

}  // namespace devkit
