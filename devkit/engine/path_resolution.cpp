#include "devkit/engine/path_resolution.h"

namespace devkit {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool HasDrive(const std::wstring& path) {
  return path.size() >= 2 && path[1] == L':' &&
         ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

}  // namespace

std::wstring ResolveAgainst(const std::wstring& base_directory, const std::wstring& path) {
  if (path.empty() || HasDrive(path)) return path;
  if (IsSeparator(path[0])) {
    if (path.size() >= 2 && IsSeparator(path[1])) return path;
    return HasDrive(base_directory) ? base_directory.substr(0, 2) + path : path;
  }
  if (base_directory.empty()) return path;
  std::wstring resolved = base_directory;
  if (!IsSeparator(resolved.back())) resolved.push_back(L'\\');
  return resolved + path;
}

}  // namespace devkit
