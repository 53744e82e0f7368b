// A program that only waits: named TessavinServer.exe and run from another
// folder, it plays some other program of that name, which an installer
// stopping the installed copy must leave alone.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  Sleep(INFINITE);
  return 0;
}
