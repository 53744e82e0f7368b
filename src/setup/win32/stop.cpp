// Stops the copies of the service that run from one exe file.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <vector>

#include "service/win32/same_file.h"
#include "setup/win32/setup_helper.h"

namespace {

WideString image_of(HANDLE process) {
  std::vector<wchar_t> buffer(32768);
  DWORD length = static_cast<DWORD>(buffer.size());
  if (!QueryFullProcessImageNameW(process, 0, buffer.data(), &length)) return {};
  return WideString(reinterpret_cast<const char16_t*>(buffer.data()), length);
}

}  // namespace

// The service has no orderly stop and needs none: every document is written
// through a temporary file and a replacing move, so ending it at any moment
// leaves each document whole.
int stop_copies_of(const WideString& exe, unsigned wait_ms) {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return kSetupNotStopped;
  std::vector<HANDLE> ending;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) continue;
    if (CompareStringOrdinal(entry.szExeFile, -1, L"TessavinServer.exe", -1, TRUE) != CSTR_EQUAL) {
      continue;
    }
    // One we may not even look at is not one this user's installer started.
    const HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                    entry.th32ProcessID);
    if (process == nullptr) continue;
    if (same_file(image_of(process), exe) && TerminateProcess(process, 1)) {
      ending.push_back(process);
    } else {
      CloseHandle(process);
    }
  }
  CloseHandle(snapshot);
  int result = kSetupDone;
  for (const HANDLE process : ending) {
    if (WaitForSingleObject(process, wait_ms) != WAIT_OBJECT_0) result = kSetupNotStopped;
    CloseHandle(process);
  }
  return result;
}
