#include "common/app_paths.h"

#include <vector>

namespace {

// The longest path the system can give a module, in characters with the terminating NUL.
constexpr DWORD kLongestModulePath = 32768;

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::optional<std::wstring> ModuleFilePath(HMODULE module) {
  // A buffer that came back full may have cut the path short: grow it until the path fits.
  for (DWORD capacity = MAX_PATH; capacity <= kLongestModulePath; capacity *= 2) {
    std::vector<wchar_t> buffer(capacity);
    const DWORD length = GetModuleFileNameW(module, buffer.data(), capacity);
    if (length == 0) return std::nullopt;
    if (length < capacity) return std::wstring(buffer.data(), length);
  }
  return std::nullopt;
}

std::optional<std::wstring> BesideExecutable(const wchar_t* file_name) {
  const std::optional<std::wstring> executable = ModuleFilePath(nullptr);
  if (!executable) return std::nullopt;
  const size_t separator = executable->rfind(L'\\');
  if (separator == std::wstring::npos) return std::nullopt;
  return executable->substr(0, separator + 1) + file_name;
}

std::optional<std::wstring> LocalDataFolder(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring folder(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", folder.data(), size);
  if (length == 0 || length >= size) return std::nullopt;
  folder.resize(length);
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  if (folder.empty()) return std::nullopt;
  return folder + L"\\Vantrel\\Keelo\\" + name;
}

bool CreateFolderWithParents(const std::wstring& folder) {
  if (IsFolder(folder)) return true;
  const size_t separator = folder.rfind(L'\\');
  // A drive ("C:") or a share's root is never created, only found.
  if (separator != std::wstring::npos && separator > 0 &&
      !CreateFolderWithParents(folder.substr(0, separator))) {
    return false;
  }
  // Another process may have made it meanwhile.
  return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}
