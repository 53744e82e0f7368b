#pragma once
// Keeps the version that Windows' Apps & features shows for an installed
// copy true after the self-update has swapped the exe: the installer writes
// the version it installed, and each start of the installed exe writes its
// own when they differ. A copy run from anywhere else never touches the
// entry, so trying a build from a download folder leaves the installed one
// described as it is.
#include "text/strings.h"

// The per-user uninstall entry the installer writes, under HKEY_CURRENT_USER.
inline constexpr char16_t kUninstallKey[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TessavinServer";

// The registry and the running exe, as the decision below sees them.
struct InstalledEntryOps {
  // A string value of the uninstall entry; false when the entry or the value
  // is missing or is not a string.
  bool (*read_value)(const char16_t* name, WideString& value);
  // Sets a string value of an existing entry; false when it could not.
  bool (*write_value)(const char16_t* name, const WideString& value);
  // Full path of the running executable; empty when unknown.
  WideString (*running_executable)();
  // True when both paths name one file.
  bool (*same_file)(const WideString& a, const WideString& b);
};

enum class InstalledVersion {
  not_installed,  // no entry, or one without an install location
  elsewhere,      // the entry describes an exe other than the running one
  already_true,   // it already shows `version`
  written,        // it showed another version and now shows `version`
  write_failed,
};

// The running exe counts as the installed one when it is the very file
// "TessavinServer.exe" in the entry's InstallLocation.
InstalledVersion keep_installed_version_true(const InstalledEntryOps& ops,
                                             const WideString& version);

// The registry of the current user and the running process.
const InstalledEntryOps& native_installed_entry_ops();

// What the service does at start: the check above with its own version.
void keep_installed_version_true();
