#include "bridge/folder_listing.h"

#include "common/scoped_handles.h"

namespace {

bool IsDotOrDotDot(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

}  // namespace

bool ListFolder(const std::wstring& folder, std::vector<FolderEntry>& entries) {
  WIN32_FIND_DATAW found;
  // The basic level leaves out the short 8.3 names, which nothing here reads.
  const ScopedFindHandle search(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                                 FindExSearchNameMatch, nullptr, 0));
  if (!search) return false;
  do {
    if (IsDotOrDotDot(found.cFileName)) continue;
    // The enumeration reports a reparse point's tag in this otherwise reserved field.
    entries.push_back(FolderEntry{found.cFileName, found.dwFileAttributes, found.dwReserved0});
  } while (FindNextFileW(search.get(), &found));
  return GetLastError() == ERROR_NO_MORE_FILES;
}

bool IsFolderToEnter(const FolderEntry& entry) {
  if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
  if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
  return entry.reparse_tag != IO_REPARSE_TAG_SYMLINK &&
         entry.reparse_tag != IO_REPARSE_TAG_MOUNT_POINT;
}
