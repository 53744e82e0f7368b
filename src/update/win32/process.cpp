// The switch-off variable, the swap script's start and the end of the process
// on Windows.
#include <windows.h>

#include <vector>

#include "service/win32/wide.h"
#include "update/binding.h"

bool native_update::switched_off() {
  // An empty value counts too: it still exists.
  wchar_t first = 0;
  SetLastError(ERROR_SUCCESS);
  const DWORD n = GetEnvironmentVariableW(L"ZELVO_NO_SELF_UPDATE", &first, 1);
  return n != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

namespace {

// cmd.exe from the system directory, so that one lying beside the service is
// never run. /S with the path quoted twice: cmd strips exactly the outer pair
// and runs the rest as it stands, even when the path holds ( ) & ^ @ < > |,
// which would make a plain /C "path" drop its quotes and run a piece of it.
// /D keeps AutoRun commands from the registry out of the script's way.
WideString command_line(const WideString& script_path) {
  wchar_t system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  const WideString interpreter =
      WideString(reinterpret_cast<const char16_t*>(system), length) + u"\\cmd.exe";
  return u"\"" + interpreter + u"\" /D /S /C \"\"" + script_path + u"\"\"";
}

}  // namespace

bool native_update::start_swap_script(const WideString& script_path,
                                      const WideString& base_directory) {
  const WideString command = command_line(script_path);
  if (command.empty()) return false;
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      wide(base_directory), &startup, &process)) {
    return false;
  }
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return true;
}

void native_update::exit_process(int code) { ExitProcess(static_cast<UINT>(code)); }
