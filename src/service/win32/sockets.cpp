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
  // Non-blocking, so that a thread that loses a connection to another one
  // waiting with it goes back to waiting instead of blocking in accept.
  u_long non_blocking = 1;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(s, SOMAXCONN) != 0 || ioctlsocket(s, FIONBIO, &non_blocking) != 0) {
    closesocket(s);
    return kNoSocket;
  }
  return static_cast<Socket>(s);
}

// A blocking accept here is bounded by no time-out, so the wait is a select.
AcceptResult native::accept_connection(Socket listener, unsigned milliseconds, Socket& connection) {
  const auto l = static_cast<SOCKET>(listener);
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return AcceptResult::idle;
    const ULONGLONG left = deadline - now;
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(l, &ready);
    timeval limit{};
    limit.tv_sec = static_cast<long>(left / 1000);
    limit.tv_usec = static_cast<long>((left % 1000) * 1000);
    const int n = select(0, &ready, nullptr, nullptr, &limit);
    if (n == SOCKET_ERROR) return AcceptResult::failed;
    if (n == 0) return AcceptResult::idle;
    const SOCKET s = accept(l, nullptr, nullptr);
    if (s == INVALID_SOCKET) {
      const int error = WSAGetLastError();
      // Another thread took it, or it went away before it was taken.
      if (error == WSAEWOULDBLOCK || error == WSAECONNRESET) continue;
      return AcceptResult::failed;
    }
    // The accepted socket inherits the listener's non-blocking mode.
    u_long blocking = 0;
    if (ioctlsocket(s, FIONBIO, &blocking) != 0) {
      closesocket(s);
      return AcceptResult::failed;
    }
    connection = static_cast<Socket>(s);
    return AcceptResult::accepted;
  }
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

long native::send_gather(Socket socket, const SendPiece* pieces, int count) {
  constexpr int kMaxPieces = 8;
  WSABUF buffers[kMaxPieces];
  const int used = count < kMaxPieces ? count : kMaxPieces;
  for (int i = 0; i < used; ++i) {
    buffers[i].buf = const_cast<char*>(pieces[i].data);
    buffers[i].len = static_cast<ULONG>(pieces[i].length);
  }
  DWORD sent = 0;
  if (WSASend(static_cast<SOCKET>(socket), buffers, static_cast<DWORD>(used), &sent, 0, nullptr,
              nullptr) != 0) {
    return -1;
  }
  return static_cast<long>(sent);
}

void native::shutdown_send(Socket socket) { shutdown(static_cast<SOCKET>(socket), SD_SEND); }

void native::close_socket(Socket socket) { closesocket(static_cast<SOCKET>(socket)); }

// TransmitFile serves only two transfers at a time on client editions of
// Windows and is not documented to honour the send time-out, so media goes
// through the service's bounded buffer.
bool (*const native::send_file)(Socket, const char*, std::size_t, FileHandle, std::uint64_t,
                                std::uint64_t) = nullptr;
