#ifndef DEVKIT_APPS_BENCH_BENCH_RESULTS_H_
#define DEVKIT_APPS_BENCH_BENCH_RESULTS_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace devkit {

// What the bench application reports to the harness that started its host: "key value" lines in
// order, keys repeatable, and a last line "end" so that the reader can tell a whole report from
// one cut short by a host that died while writing it.
class BenchResults {
 public:
  // Line breaks in |value| become spaces, so that every entry stays one line.
  void Add(std::string key, std::string value);

  // The first entry's value; null when there is none.
  const std::string* Find(std::string_view key) const;
  // Every entry's value, in order.
  std::vector<std::string> FindAll(std::string_view key) const;

  std::string Format() const;
  // None when the text does not end with the "end" line, or a line has no key.
  static std::optional<BenchResults> Parse(std::string_view text);

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
};

}  // namespace devkit

#endif  // DEVKIT_APPS_BENCH_BENCH_RESULTS_H_
