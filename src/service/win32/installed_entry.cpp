// The installed copy's uninstall entry in the current user's registry, and
// the start-up call that keeps its version true.
#include <windows.h>

#include <vector>

#include "service/binding.h"
#include "service/version.h"
#include "service/win32/installed_version.h"
#include "service/win32/same_file.h"
#include "service/win32/wide.h"
#include "text/utf.h"

namespace {

const wchar_t* key_name() { return reinterpret_cast<const wchar_t*>(kUninstallKey); }

bool read_value(const char16_t* name, WideString& value) {
  DWORD type = 0;
  DWORD bytes = 0;
  const auto* wname = reinterpret_cast<const wchar_t*>(name);
  if (RegGetValueW(HKEY_CURRENT_USER, key_name(), wname, RRF_RT_REG_SZ, &type, nullptr, &bytes) !=
      ERROR_SUCCESS) {
    return false;
  }
  std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1);
  bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_CURRENT_USER, key_name(), wname, RRF_RT_REG_SZ, &type, buffer.data(),
                   &bytes) != ERROR_SUCCESS) {
    return false;
  }
  value.assign(reinterpret_cast<const char16_t*>(buffer.data()));
  return true;
}

// Only into an entry that exists: a copy that was never installed creates none.
bool write_value(const char16_t* name, const WideString& value) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key_name(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  const LONG result = RegSetValueExW(key, reinterpret_cast<const wchar_t*>(name), 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

}  // namespace

const InstalledEntryOps& native_installed_entry_ops() {
  static const InstalledEntryOps ops = {read_value, write_value, native::executable_path,
                                        same_file};
  return ops;
}

void keep_installed_version_true() {
  keep_installed_version_true(native_installed_entry_ops(), utf8_to_utf16(kServiceVersion));
}
