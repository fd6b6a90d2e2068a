#ifndef TESTS_SUPPORT_LOCAL_APP_DATA_H_
#define TESTS_SUPPORT_LOCAL_APP_DATA_H_

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

namespace keelo::testing {

// A fresh folder that this process and every process it starts from now on (they inherit the
// variable) take for %LOCALAPPDATA%, so that Keelo's log and crash dumps land where the test
// looks, never in the prefix's own. The variable and the folder, with all in it, go with the
// object.
class TemporaryLocalAppData {
 public:
  TemporaryLocalAppData() {
    static std::atomic<int> made{0};
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"keelo-local-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++made);
    CreateDirectoryW(path_.c_str(), nullptr);
    saved_ = Variable();
    SetEnvironmentVariableW(L"LOCALAPPDATA", path_.c_str());
  }
  ~TemporaryLocalAppData() {
    SetEnvironmentVariableW(L"LOCALAPPDATA", saved_.empty() ? nullptr : saved_.c_str());
    RemoveTree(path_);
  }
  TemporaryLocalAppData(const TemporaryLocalAppData&) = delete;
  TemporaryLocalAppData& operator=(const TemporaryLocalAppData&) = delete;

  const std::wstring& path() const { return path_; }

  // Where Keelo keeps |name| ("logs", "crashes") under this folder.
  std::wstring KeeloFolder(const wchar_t* name) const {
    return path_ + L"\\Vantrel\\Keelo\\" + name;
  }

  // The names of the files in |folder|.
  static std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
  }

  // The bytes of the file at |path|; empty when it cannot be read. Read while the file may be
  // written or moved aside, as a user's editor would.
  static std::string FileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
      bytes.append(buffer, read);
    }
    CloseHandle(file);
    return bytes;
  }

 private:
  static std::wstring Variable() {
    wchar_t value[MAX_PATH] = L"";
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
  }

  static void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
          RemoveTree(path);
        } else {
          DeleteFileW(path.c_str());
        }
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
  }

  std::wstring path_;
  std::wstring saved_;
};

// The texts of the lines of Keelo's log file at |path|, in order, without the time and the
// process that begin each line.
inline std::vector<std::string> LoggedTexts(const std::wstring& path) {
  const std::string bytes = TemporaryLocalAppData::FileBytes(path);
  std::vector<std::string> texts;
  size_t start = 0;
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = bytes.substr(start, end - start);
    const size_t text = line.find("] ");
    texts.push_back(text == std::string::npos ? line : line.substr(text + 2));
  }
  return texts;
}

}  // namespace keelo::testing

#endif  // TESTS_SUPPORT_LOCAL_APP_DATA_H_
