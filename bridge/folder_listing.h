#ifndef BRIDGE_FOLDER_LISTING_H_
#define BRIDGE_FOLDER_LISTING_H_

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// One entry of a folder as the platform's directory enumeration reports it.
struct FolderEntry {
  std::wstring name;
  DWORD attributes = 0;
  // Meaningful only when |attributes| has FILE_ATTRIBUTE_REPARSE_POINT.
  DWORD reparse_tag = 0;
};

// Lists the entries of |folder| into |entries|, "." and ".." left out, in the order the platform
// enumerates them. False when the folder cannot be opened, or when listing it failed part-way;
// |entries| then holds what was read before the failure.
using FolderLister =
    std::function<bool(const std::wstring& folder, std::vector<FolderEntry>& entries)>;

// Whether a walk goes on inside |entry|: a directory, unless it is a symbolic link or a junction
// (which may lead back up the tree or off to another volume). Other directory reparse points,
// such as files kept in the cloud, are ordinary folders.
bool IsFolderToEnter(const FolderEntry& entry);

#endif  // BRIDGE_FOLDER_LISTING_H_
