#include "service/win32/same_file.h"

#include <windows.h>

#include "service/win32/wide.h"

namespace {

struct FileIdentity {
  DWORD volume = 0;
  DWORD high = 0;
  DWORD low = 0;
};

bool identity_of(const WideString& path, FileIdentity& identity) {
  // Attributes only, shared with everyone: a running exe opens this way too.
  const HANDLE file = CreateFileW(wide(path), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  if (!ok) return false;
  identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

WideString full(const WideString& path) {
  wchar_t buffer[4096];
  const DWORD n = GetFullPathNameW(wide(path), 4096, buffer, nullptr);
  if (n == 0 || n >= 4096) return path;
  return WideString(reinterpret_cast<const char16_t*>(buffer), n);
}

}  // namespace

bool same_file(const WideString& a, const WideString& b) {
  if (a.empty() || b.empty()) return false;
  FileIdentity x, y;
  if (identity_of(a, x) && identity_of(b, y)) {
    return x.volume == y.volume && x.high == y.high && x.low == y.low;
  }
  const WideString fa = full(a);
  const WideString fb = full(b);
  return CompareStringOrdinal(wide(fa), static_cast<int>(fa.size()), wide(fb),
                              static_cast<int>(fb.size()), TRUE) == CSTR_EQUAL;
}
