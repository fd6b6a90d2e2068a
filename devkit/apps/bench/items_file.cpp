#include "devkit/apps/bench/items_file.h"

#include <windows.h>

#include "common/scoped_handles.h"
#include "common/text_conversion.h"

namespace devkit {

std::optional<std::vector<std::string>> ReadItemsFile(const std::string& path) {
  const ScopedFileHandle file(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string text;
  char buffer[4096];
  DWORD read = 0;
  BOOL reading = FALSE;
  while ((reading = ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr)) && read > 0) {
    text.append(buffer, read);
  }
  if (!reading) return std::nullopt;
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

}  // namespace devkit
