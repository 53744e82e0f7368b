// Socket operations on Windows.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "service/binding.h"

bool native::net_start() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void native::net_cleanup() { WSACleanup(); }

Socket native::listen_loopback(std::uint16_t port) {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kNoSocket;
  // Nobody else may share the port with us, whatever options they set.
  const int on = 1;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(s, SOMAXCONN) != 0) {
    closesocket(s);
    return kNoSocket;
  }
  return static_cast<Socket>(s);
}

Socket native::accept_connection(Socket listener) {
  const SOCKET s = accept(static_cast<SOCKET>(listener), nullptr, nullptr);
  return s == INVALID_SOCKET ? kNoSocket : static_cast<Socket>(s);
}

void native::set_timeouts(Socket socket, unsigned milliseconds) {
  const DWORD limit = milliseconds;
  const auto s = static_cast<SOCKET>(socket);
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
}

void native::set_receive_timeout(Socket socket, unsigned milliseconds) {
  const DWORD limit = milliseconds;
  setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_RCVTIMEO,
             reinterpret_cast<const char*>(&limit), sizeof limit);
}

long native::receive(Socket socket, char* buffer, int length) {
  return recv(static_cast<SOCKET>(socket), buffer, length, 0);
}

long native::send(Socket socket, const char* data, int length) {
  return ::send(static_cast<SOCKET>(socket), data, length, 0);
}

void native::close_socket(Socket socket) { closesocket(static_cast<SOCKET>(socket)); }
