// Process, thread and single-instance operations on POSIX.
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <string>

#include "service/binding.h"
#include "text/utf.h"

namespace {

// The kernel's login session of this process, so that another login of the
// same user gets an instance of its own, as on Windows.
std::string login_session() {
  std::ifstream in("/proc/self/sessionid");
  std::string id;
  if (!(in >> id)) id = "none";
  return id;
}

}  // namespace

// A name in the abstract socket namespace: it belongs to the process that
// bound it and vanishes with it, however the process ends.
InstanceGuard native::acquire_instance_guard() {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return InstanceGuard::unavailable;
  const std::string name =
      "ZelvoTessavinService." + std::to_string(getuid()) + "." + login_session();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t length = std::min(name.size(), sizeof(address.sun_path) - 1);
  std::memcpy(address.sun_path + 1, name.data(), length);
  const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0) return InstanceGuard::held;
  const int error = errno;
  close(fd);
  return error == EADDRINUSE ? InstanceGuard::already_running : InstanceGuard::unavailable;
}

WideString native::executable_path() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) return {};
  return utf8_to_utf16(std::string(buffer, static_cast<std::size_t>(n)));
}

std::uint32_t native::current_thread_id() {
  return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

void native::sleep_ms(unsigned milliseconds) {
  usleep(static_cast<useconds_t>(milliseconds) * 1000);
}

std::uint64_t native::monotonic_ms() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000 +
         static_cast<std::uint64_t>(now.tv_nsec / 1000000);
}
