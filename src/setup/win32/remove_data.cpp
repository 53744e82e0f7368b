// Deletes the data folder for an uninstall that asked for it.
#include <windows.h>

#include "service/win32/wide.h"
#include "setup/win32/setup_helper.h"

namespace {

// Read-only files would refuse deletion.
bool delete_file(const WideString& path) {
  SetFileAttributesW(wide(path), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(wide(path)) != 0;
}

bool remove_directory(const WideString& path) {
  SetFileAttributesW(wide(path), FILE_ATTRIBUTE_DIRECTORY);
  return RemoveDirectoryW(wide(path)) != 0;
}

// Windows removes a link to a directory as a directory; Wine shows a Unix
// symbolic link as such a link but removes it only as a file.
bool remove_link(const WideString& path, DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    return remove_directory(path) || DeleteFileW(wide(path)) != 0;
  }
  return delete_file(path);
}

// True when all of it is gone.
bool remove_below(const WideString& directory) {
  WIN32_FIND_DATAW found;
  const HANDLE listing = FindFirstFileW(wide(directory + u"\\*"), &found);
  if (listing == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  bool all = true;
  do {
    const WideString name(reinterpret_cast<const char16_t*>(found.cFileName));
    if (name == u"." || name == u"..") continue;
    const WideString path = directory + u"\\" + name;
    const DWORD attributes = found.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      all &= remove_link(path, attributes);
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      all &= remove_below(path) && remove_directory(path);
    } else {
      all &= delete_file(path);
    }
  } while (FindNextFileW(listing, &found));
  FindClose(listing);
  return all;
}

}  // namespace

int remove_tree(const WideString& directory) {
  const DWORD attributes = GetFileAttributesW(wide(directory));
  if (attributes == INVALID_FILE_ATTRIBUTES) return kSetupDone;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    return remove_link(directory, attributes) ? kSetupDone : kSetupNotRemoved;
  }
  return remove_below(directory) && remove_directory(directory) ? kSetupDone : kSetupNotRemoved;
}
