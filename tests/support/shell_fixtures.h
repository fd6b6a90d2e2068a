#ifndef TESTS_SUPPORT_SHELL_FIXTURES_H_
#define TESTS_SUPPORT_SHELL_FIXTURES_H_

// What catalogue and icon tests make in the shared Wine prefix: shortcuts in the Start menu's
// Programs folders, folders and copies of executables. Everything is removed when the owner
// goes, also when the test failed half-way, since every test of a run sees the same prefix.
// Links ole32, shell32 and uuid.

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/scoped_handles.h"

namespace keelo::testing {

// COM as the host's UI thread has it, for the test's thread.
class ScopedComApartment {
 public:
  ScopedComApartment()
      : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ScopedComApartment() {
    if (initialized_) CoUninitialize();
  }
  ScopedComApartment(const ScopedComApartment&) = delete;
  ScopedComApartment& operator=(const ScopedComApartment&) = delete;

 private:
  bool initialized_;
};

// The path of a known folder, such as FOLDERID_Programs; empty when the shell has none.
inline std::wstring KnownFolderPath(REFKNOWNFOLDERID folder) {
  ScopedCoTaskMem<wchar_t> path;
  if (FAILED(SHGetKnownFolderPath(folder, 0, nullptr, path.put()))) return std::wstring();
  return path.get();
}

// Writes a shortcut at |path| to |target| with |arguments|, as an installer does.
inline HRESULT SaveShortcut(const std::wstring& path, const std::wstring& target,
                            const std::wstring& arguments = std::wstring()) {
  ComPtr<IShellLinkW> link;
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    link.put_void());
  if (FAILED(result)) return result;
  if (FAILED(result = link->SetPath(target.c_str()))) return result;
  if (FAILED(result = link->SetArguments(arguments.c_str()))) return result;
  const ComPtr<IPersistFile> file = link.As<IPersistFile>(IID_IPersistFile);
  if (!file) return E_NOINTERFACE;
  return file->Save(path.c_str(), TRUE);
}

// Files and folders a test made, removed in the reverse order of their making.
class CreatedFiles {
 public:
  CreatedFiles() = default;
  ~CreatedFiles() {
    for (auto made = made_.rbegin(); made != made_.rend(); ++made) {
      if (made->folder) {
        RemoveDirectoryW(made->path.c_str());
      } else {
        DeleteFileW(made->path.c_str());
      }
    }
  }
  CreatedFiles(const CreatedFiles&) = delete;
  CreatedFiles& operator=(const CreatedFiles&) = delete;

  // |path|, made now; false when it could not be made.
  bool Folder(const std::wstring& path) {
    if (!CreateDirectoryW(path.c_str(), nullptr)) return false;
    made_.push_back({path, true});
    return true;
  }

  bool Shortcut(const std::wstring& path, const std::wstring& target,
                const std::wstring& arguments = std::wstring()) {
    // Noted first: a save that failed half-way may still have left the file.
    made_.push_back({path, false});
    return SUCCEEDED(SaveShortcut(path, target, arguments));
  }

  bool Copy(const std::wstring& from, const std::wstring& to) {
    made_.push_back({to, false});
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
  }

 private:
  struct Made {
    std::wstring path;
    bool folder;
  };
  std::vector<Made> made_;
};

}  // namespace keelo::testing

#endif  // TESTS_SUPPORT_SHELL_FIXTURES_H_
