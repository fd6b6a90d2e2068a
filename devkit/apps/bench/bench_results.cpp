#include "devkit/apps/bench/bench_results.h"

#include <algorithm>

namespace devkit {
namespace {

constexpr std::string_view kEndLine = "end";

}  // namespace

void BenchResults::Add(std::string key, std::string value) {
  std::replace(value.begin(), value.end(), '\n', ' ');
  std::replace(value.begin(), value.end(), '\r', ' ');
  entries_.emplace_back(std::move(key), std::move(value));
}

const std::string* BenchResults::Find(std::string_view key) const {
  for (const auto& [entry_key, value] : entries_) {
    if (entry_key == key) return &value;
  }
  return nullptr;
}

std::vector<std::string> BenchResults::FindAll(std::string_view key) const {
  std::vector<std::string> values;
  for (const auto& [entry_key, value] : entries_) {
    if (entry_key == key) values.push_back(value);
  }
  return values;
}

std::string BenchResults::Format() const {
  std::string text;
  for (const auto& [key, value] : entries_) {
    text += key;
    text += ' ';
    text += value;
    text += '\n';
  }
  text += kEndLine;
  text += '\n';
  return text;
}

std::optional<BenchResults> BenchResults::Parse(std::string_view text) {
  BenchResults results;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (line == kEndLine) {
      // Anything after the end line means two reports ran into one file.
      if (start != text.size()) return std::nullopt;
      return results;
    }
    const size_t space = line.find(' ');
    if (space == 0 || space == std::string_view::npos) return std::nullopt;
    results.entries_.emplace_back(std::string(line.substr(0, space)),
                                  std::string(line.substr(space + 1)));
  }
  return std::nullopt;
}

}  // namespace devkit
