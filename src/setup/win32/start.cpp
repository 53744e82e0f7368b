// Starts the installed service and waits until it answers ping.
#include <winsock2.h>
// After winsock2.h, which keeps the old winsock.h out.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "service/win32/wide.h"
#include "setup/win32/setup_helper.h"

namespace {

// The port the service wrote, or 0 while there is none.
unsigned port_in(const WideString& port_file) {
  const HANDLE file = CreateFileW(wide(port_file), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  char digits[8] = {};
  DWORD n = 0;
  const BOOL read = ReadFile(file, digits, 7, &n, nullptr);
  CloseHandle(file);
  if (!read || n != 5) return 0;
  return static_cast<unsigned>(std::atoi(digits));
}

bool exists(const WideString& path) {
  return GetFileAttributesW(wide(path)) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool answers_ping(unsigned port) {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  const DWORD timeout = 2000;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    static const char kRequest[] = "GET /api/ping HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (send(s, kRequest, sizeof kRequest - 1, 0) == static_cast<int>(sizeof kRequest - 1)) {
      char buffer[1024];
      for (int n; answer.size() < 4096 && (n = recv(s, buffer, sizeof buffer, 0)) > 0;) {
        answer.append(buffer, static_cast<std::size_t>(n));
      }
    }
  }
  closesocket(s);
  return answer.rfind("HTTP/1.1 200", 0) == 0 &&
         answer.find("\"service\":\"zelvo-tessavin\"") != std::string::npos;
}

int start_and_wait(const WideString& directory, unsigned wait_ms) {
  const WideString exe = directory + u"\\TessavinServer.exe";
  const WideString port_file = directory + u"\\service_port.txt";
  // The port file of an earlier run would say nothing about this one.
  DeleteFileW(wide(port_file));
  std::vector<wchar_t> command_line;
  for (const char16_t c : u"\"" + exe + u"\"") command_line.push_back(static_cast<wchar_t>(c));
  command_line.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(wide(exe), command_line.data(), nullptr, nullptr, FALSE,
                      CREATE_NEW_PROCESS_GROUP, nullptr, wide(directory), &startup, &process)) {
    return kSetupNotStarted;
  }
  CloseHandle(process.hThread);
  WSADATA wsa;
  const bool sockets = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
  const ULONGLONG deadline = GetTickCount64() + wait_ms;
  int outcome = kSetupNoAnswer;
  for (;;) {
    StartLook look;
    DWORD code = 0;
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(process.hProcess, &code)) {
      look.ended = true;
      look.exit_code = code;
    }
    look.port_file = exists(port_file);
    const unsigned port = port_in(port_file);
    look.answered = sockets && port != 0 && answers_ping(port);
    const int settled = start_outcome(look);
    if (settled >= 0) {
      outcome = settled;
      break;
    }
    if (GetTickCount64() > deadline) break;
    Sleep(100);
  }
  CloseHandle(process.hProcess);
  if (sockets) WSACleanup();
  return outcome;
}
