// Socket operations on POSIX.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

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
  // The kernel hands a connection over only once its first bytes are in, so
  // a thread that accepts finds its request waiting instead of sleeping on
  // it. A connection still silent after this many seconds is handed over all
  // the same, and the receive time-out then ends it.
  const int defer_seconds = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &defer_seconds, sizeof defer_seconds);
  return static_cast<Socket>(fd);
}

namespace {

void set_timeval(int fd, int option, unsigned milliseconds) {
  timeval limit{};
  limit.tv_sec = static_cast<time_t>(milliseconds / 1000);
  limit.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
  setsockopt(fd, SOL_SOCKET, option, &limit, sizeof limit);
}

// The listener and wait last set, so that the wait costs no call per accept.
std::atomic<std::uint64_t> g_accept_wait{~std::uint64_t{0}};

}  // namespace

AcceptResult native::accept_connection(Socket listener, unsigned milliseconds, Socket& connection) {
  const int fd = static_cast<int>(listener);
  // A blocking accept wakes one waiting thread per connection, and on Linux
  // the receive time-out bounds it.
  const std::uint64_t wait = (static_cast<std::uint64_t>(listener) << 32) | milliseconds;
  if (g_accept_wait.exchange(wait) != wait) set_timeval(fd, SO_RCVTIMEO, milliseconds);
  for (;;) {
    const int accepted = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (accepted >= 0) {
      connection = static_cast<Socket>(accepted);
      return AcceptResult::accepted;
    }
    // A connection that went away before it was taken is no failure.
    if (errno == EINTR || errno == ECONNABORTED) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? AcceptResult::idle : AcceptResult::failed;
  }
}

void native::set_timeouts(Socket socket, unsigned milliseconds) {
  set_timeval(static_cast<int>(socket), SO_RCVTIMEO, milliseconds);
  set_timeval(static_cast<int>(socket), SO_SNDTIMEO, milliseconds);
}

void native::set_receive_timeout(Socket socket, unsigned milliseconds) {
  set_timeval(static_cast<int>(socket), SO_RCVTIMEO, milliseconds);
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

long native::send_gather(Socket socket, const SendPiece* pieces, int count) {
  constexpr int kMaxPieces = 8;
  iovec vector[kMaxPieces];
  msghdr message{};
  message.msg_iov = vector;
  message.msg_iovlen = static_cast<std::size_t>(count < kMaxPieces ? count : kMaxPieces);
  for (std::size_t i = 0; i < message.msg_iovlen; ++i) {
    vector[i].iov_base = const_cast<char*>(pieces[i].data);
    vector[i].iov_len = pieces[i].length;
  }
  for (;;) {
    const ssize_t n = sendmsg(static_cast<int>(socket), &message, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

void native::shutdown_send(Socket socket) { shutdown(static_cast<int>(socket), SHUT_WR); }

void native::close_socket(Socket socket) { close(static_cast<int>(socket)); }
