#ifndef COMMON_APP_PATHS_H_
#define COMMON_APP_PATHS_H_

#include <windows.h>

#include <optional>
#include <string>

// Where Keelo's own files are: its executables, and the folders of what a user can send (the
// log, the crash dumps).

// The full path of |module| (null: the running executable), however long; nothing when it
// cannot be read.
std::optional<std::wstring> ModuleFilePath(HMODULE module);

// The path of the file |file_name| in the folder of the running executable; nothing when that
// folder cannot be read.
std::optional<std::wstring> BesideExecutable(const wchar_t* file_name);

// %LOCALAPPDATA%\Vantrel\Keelo\|name|; nothing when the variable is not set. The folder is not
// created.
std::optional<std::wstring> LocalDataFolder(const wchar_t* name);

// Creates |folder| and every missing folder above it; true when it exists afterwards.
bool CreateFolderWithParents(const std::wstring& folder);

#endif  // COMMON_APP_PATHS_H_
