// File and directory operations on Windows.
#include <windows.h>

#include <vector>

#include "service/binding.h"
#include "service/extended_path.h"
#include "service/win32/wide.h"

namespace {

WideString current_directory() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n == 0) return {};
    if (n < buffer.size()) return WideString(reinterpret_cast<const char16_t*>(buffer.data()), n);
    buffer.resize(n);  // n counts the terminator when the buffer was too small
  }
}

}  // namespace

WideString literal_path(const WideString& path) {
  return extended_length_path(path, current_directory());
}

// Windows takes both separators; the backslash is its own.
const char16_t native::kPathSeparators[] = u"\\/";

bool native::is_directory(const WideString& path) {
  const DWORD attributes = GetFileAttributesW(wide(literal_path(path)));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool native::create_directory(const WideString& path) {
  return CreateDirectoryW(wide(literal_path(path)), nullptr) != 0;
}

FileHandle native::create_for_write(const WideString& path) {
  const HANDLE file = CreateFileW(wide(literal_path(path)), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(file);
}

bool native::write_file(FileHandle file, const char* data, std::size_t length) {
  if (length > MAXDWORD) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(reinterpret_cast<HANDLE>(file), data, static_cast<DWORD>(length),
                            &written, nullptr);
  return ok && written == length;
}

void native::flush_file(FileHandle file) { FlushFileBuffers(reinterpret_cast<HANDLE>(file)); }

void native::close_file(FileHandle file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

bool native::move_replace(const WideString& from, const WideString& to) {
  return MoveFileExW(wide(literal_path(from)), wide(literal_path(to)),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void native::delete_file(const WideString& path) { DeleteFileW(wide(literal_path(path))); }

FileHandle native::open_for_read(const WideString& path, DeleteSharing sharing) {
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  if (sharing == DeleteSharing::allowed) share |= FILE_SHARE_DELETE;
  const HANDLE file = CreateFileW(wide(literal_path(path)), GENERIC_READ, share, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kNoFile;
  // Only disk files are served, should a device or pipe ever be reached.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return kNoFile;
  }
  return reinterpret_cast<FileHandle>(file);
}

bool native::file_size(FileHandle file, std::uint64_t& size) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(reinterpret_cast<HANDLE>(file), &value) || value.QuadPart < 0) return false;
  size = static_cast<std::uint64_t>(value.QuadPart);
  return true;
}

bool native::seek_file(FileHandle file, std::uint64_t offset) {
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  return offset <= static_cast<std::uint64_t>(INT64_MAX) &&
         SetFilePointerEx(reinterpret_cast<HANDLE>(file), distance, nullptr, FILE_BEGIN);
}

long native::read_file(FileHandle file, char* buffer, std::size_t length) {
  const DWORD wanted = length > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length);
  DWORD got = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(file), buffer, wanted, &got, nullptr)) return -1;
  return static_cast<long>(got);
}

namespace {

// The normalised name spells out every short (8.3) component and follows
// links. Without the volume the call needs no answer from the mount manager,
// which some virtual drives do not give.
bool final_path(HANDLE handle, WideString& path) {
  constexpr DWORD kFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_NONE;
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n =
        GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), kFlags);
    if (n == 0) return false;
    if (n < buffer.size()) {
      path.assign(reinterpret_cast<const char16_t*>(buffer.data()), n);
      return true;
    }
    buffer.resize(n);  // n counts the terminator when the buffer was too small
  }
}

}  // namespace

// Where the open file cannot be named (some file systems cannot, nor can Wine
// past MAX_PATH), the directory entry that the path opened still has the long
// name, though that of a link rather than of its target. The open has already
// refused wildcards, which are no valid name characters.
bool native::opened_path(FileHandle file, const WideString& path, WideString& real) {
  if (final_path(reinterpret_cast<HANDLE>(file), real)) return true;
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileExW(wide(literal_path(path)), FindExInfoBasic, &entry,
                                       FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  real = reinterpret_cast<const char16_t*>(entry.cFileName);
  return true;
}
