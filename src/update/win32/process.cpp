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

bool native_update::start_swap_script(const WideString& script_path,
                                      const WideString& base_directory) {
  const WideString command = u"cmd.exe /C \"" + script_path + u"\"";
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
