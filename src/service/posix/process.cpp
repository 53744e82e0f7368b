// Process and thread operations on POSIX.
#include <sys/syscall.h>
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
