// The installer's helper: see setup_helper.h. No window, no console.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "setup/win32/setup_helper.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (args == nullptr || count != 3) return kSetupUsage;
  const std::wstring command = args[1];
  WideString directory(reinterpret_cast<const char16_t*>(args[2]));
  LocalFree(args);
  while (directory.size() > 3 && (directory.back() == u'\\' || directory.back() == u'/')) {
    directory.pop_back();
  }
  if (command == L"stop") return stop_copies_of(directory + u"\\TessavinServer.exe", 10000);
  // Start-up takes well under a second; Wine's first start of a prefix and a
  // busy machine take longer.
  if (command == L"start") return start_and_wait(directory, 30000);
  if (command == L"remove-data") return remove_tree(directory + u"\\data");
  return kSetupUsage;
}
