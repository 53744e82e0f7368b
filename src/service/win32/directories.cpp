// Directory listing, identities, file stamps and path resolution on Windows.
#include <windows.h>

#include "service/binding.h"
#include "service/win32/wide.h"

bool native::list_directory(const WideString& directory, std::vector<DirectoryEntry>& entries) {
  WIN32_FIND_DATAW found;
  WideString pattern = literal_path(directory);
  if (pattern.empty() || pattern.back() != u'\\') pattern += u'\\';
  pattern += u'*';
  const HANDLE listing = FindFirstFileW(wide(pattern), &found);
  if (listing == INVALID_HANDLE_VALUE) return false;
  do {
    const WideString name(reinterpret_cast<const char16_t*>(found.cFileName));
    if (name == u"." || name == u"..") continue;
    entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileW(listing, &found));
  FindClose(listing);
  return true;
}

bool native::directory_identity(const WideString& path, DirectoryIdentity& identity) {
  // Backup semantics open directories; links and junctions are followed.
  const HANDLE handle = CreateFileW(wide(literal_path(path)), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (!ok) return false;
  identity = {info.dwVolumeSerialNumber,
              (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  return true;
}

namespace {

std::int64_t filetime_ticks(const FILETIME& time) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime);
}

std::uint64_t file_size_of(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

}  // namespace

// The attributes call answers from the directory entry alone, which is cheap;
// for a symbolic link that entry describes the link, so only then is the
// target opened and asked.
bool native::file_stamp(const WideString& path, FileStamp& stamp) {
  const WideString literal = literal_path(path);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(wide(literal), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    stamp.size = file_size_of(data.nFileSizeHigh, data.nFileSizeLow);
    stamp.modified = filetime_ticks(data.ftLastWriteTime);
    return true;
  }
  const HANDLE handle = CreateFileW(wide(literal), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(handle, &info) != 0 &&
                  !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  CloseHandle(handle);
  if (!ok) return false;
  stamp.size = file_size_of(info.nFileSizeHigh, info.nFileSizeLow);
  stamp.modified = filetime_ticks(info.ftLastWriteTime);
  return true;
}

bool native::full_path(const WideString& path, WideString& resolved) {
  wchar_t buffer[kMaxFullPath + 1];
  const DWORD length = GetFullPathNameW(wide(path), kMaxFullPath + 1, buffer, nullptr);
  if (length == 0 || length > kMaxFullPath) return false;
  resolved.assign(reinterpret_cast<const char16_t*>(buffer), length);
  return true;
}
