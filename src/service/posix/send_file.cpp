// Media bodies straight from the file to the socket on Linux.
#include <fcntl.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>

#include <cerrno>

#include "service/binding.h"

namespace {

// The socket's send time-out in milliseconds, or -1 for none.
int send_timeout_ms(int fd) {
  timeval limit{};
  socklen_t size = sizeof limit;
  if (getsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, &size) != 0) return -1;
  if (limit.tv_sec == 0 && limit.tv_usec == 0) return -1;
  return static_cast<int>(limit.tv_sec * 1000 + limit.tv_usec / 1000);
}

// True once the peer can take more bytes; false after `wait_ms` without.
bool wait_writable(int fd, int wait_ms) {
  pollfd entry{fd, POLLOUT, 0};
  for (;;) {
    const int n = poll(&entry, 1, wait_ms);
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

// `more`: the body follows at once, so the head need not go out alone.
bool send_head(int fd, const char* head, std::size_t length, int wait_ms, bool more) {
  const int flags = MSG_NOSIGNAL | (more ? MSG_MORE : 0);
  std::size_t sent = 0;
  while (sent < length) {
    const ssize_t n = ::send(fd, head + sent, length - sent, flags);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait_writable(fd, wait_ms)) return false;
    } else {
      return false;
    }
  }
  return true;
}

// sendfile cannot be told not to raise SIGPIPE; the service ignores it.
bool send_body(int fd, int file, std::uint64_t offset, std::uint64_t length, int wait_ms) {
  // Each call takes at most this much, well within what one call may move.
  constexpr std::uint64_t kMaxCall = 1ULL << 30;
  auto position = static_cast<off_t>(offset);
  std::uint64_t remaining = length;
  while (remaining > 0) {
    const std::size_t wanted = remaining < kMaxCall ? remaining : kMaxCall;
    const ssize_t n = sendfile(fd, file, &position, wanted);
    if (n > 0) {
      remaining -= static_cast<std::uint64_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait_writable(fd, wait_ms)) return false;
    } else {
      return false;  // the file shrank, cannot be read, or the peer has gone
    }
  }
  return true;
}

// A blocking sendfile applies the send time-out to each piece it moves, so
// a peer that reads a trickle could hold the file and the thread far longer;
// non-blocking, every wait is bounded on its own by the time-out.
bool send_head_and_file(Socket socket, const char* head, std::size_t head_length, FileHandle file,
                        std::uint64_t offset, std::uint64_t length) {
  const int fd = static_cast<int>(socket);
  const int wait_ms = send_timeout_ms(fd);
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  const bool sent = send_head(fd, head, head_length, wait_ms, length > 0) &&
                    send_body(fd, static_cast<int>(file), offset, length, wait_ms);
  fcntl(fd, F_SETFL, flags);
  return sent;
}

}  // namespace

bool (*const native::send_file)(Socket, const char*, std::size_t, FileHandle, std::uint64_t,
                                std::uint64_t) = send_head_and_file;
