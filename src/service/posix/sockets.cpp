// Socket operations on POSIX.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "service/binding.h"

bool native::net_start() { return true; }

void native::net_cleanup() {}

Socket native::listen_loopback(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return kNoSocket;
  // On Linux this lets us take the port back while our own closed
  // connections linger in TIME_WAIT, yet bind still fails while any other
  // socket listens on it.
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, SOMAXCONN) != 0) {
    close(fd);
    return kNoSocket;
  }
  return static_cast<Socket>(fd);
}

Socket native::accept_connection(Socket listener) {
  const int fd = accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
  return fd < 0 ? kNoSocket : static_cast<Socket>(fd);
}

void native::set_timeouts(Socket socket, unsigned milliseconds) {
  timeval limit{};
  limit.tv_sec = static_cast<time_t>(milliseconds / 1000);
  limit.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
  setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

void native::set_receive_timeout(Socket socket, unsigned milliseconds) {
  timeval limit{};
  limit.tv_sec = static_cast<time_t>(milliseconds / 1000);
  limit.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
  setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

long native::receive(Socket socket, char* buffer, int length) {
  for (;;) {
    const ssize_t n = recv(static_cast<int>(socket), buffer, static_cast<std::size_t>(length), 0);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

long native::send(Socket socket, const char* data, int length) {
  for (;;) {
    // A peer that has gone must not raise SIGPIPE and end the service.
    const ssize_t n =
        ::send(static_cast<int>(socket), data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

void native::close_socket(Socket socket) { close(static_cast<int>(socket)); }
