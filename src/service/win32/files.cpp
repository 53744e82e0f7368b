// File and directory operations on Windows.
#include <windows.h>

#include "service/binding.h"
#include "service/win32/wide.h"

// Windows takes both separators; the backslash is its own.
const char16_t native::kPathSeparators[] = u"\\/";

bool native::is_directory(const WideString& path) {
  const DWORD attributes = GetFileAttributesW(wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool native::create_directory(const WideString& path) {
  return CreateDirectoryW(wide(path), nullptr) != 0;
}

FileHandle native::create_for_write(const WideString& path) {
  const HANDLE file = CreateFileW(wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
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
  return MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void native::delete_file(const WideString& path) { DeleteFileW(wide(path)); }
