// Process and thread operations on POSIX.
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "service/binding.h"
#include "text/utf.h"

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
