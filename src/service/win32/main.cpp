// The GUI-subsystem entry: no window, no console; arguments are ignored.
#include <windows.h>

#include "service/host.h"
#include "service/win32/installed_version.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // After a self-update the installed exe is a newer build than the one the
  // installer described in Apps & features.
  keep_installed_version_true();
  return service_entry();
}
