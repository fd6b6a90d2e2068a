#ifndef DEVKIT_APPS_BENCH_ITEMS_FILE_H_
#define DEVKIT_APPS_BENCH_ITEMS_FILE_H_

#include <optional>
#include <string>
#include <vector>

namespace devkit {

// The lines of the harness's file at |path| (UTF-8), without their line breaks and without empty
// lines; none when it cannot be read.
std::optional<std::vector<std::string>> ReadItemsFile(const std::string& path);

}  // namespace devkit

#endif  // DEVKIT_APPS_BENCH_ITEMS_FILE_H_
