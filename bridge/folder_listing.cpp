#include "bridge/folder_listing.h"

bool IsFolderToEnter(const FolderEntry& entry) {
  if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
  if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
  return entry.reparse_tag != IO_REPARSE_TAG_SYMLINK &&
         entry.reparse_tag != IO_REPARSE_TAG_MOUNT_POINT;
}
