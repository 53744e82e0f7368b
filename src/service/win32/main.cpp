// The GUI-subsystem entry: no window, no console; arguments are ignored.
#include <windows.h>

#include "service/host.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return service_entry(); }
