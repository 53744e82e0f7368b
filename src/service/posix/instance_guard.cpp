// The single-instance guard on POSIX: an exclusive lock on a file in a
// directory that only the same user controls. Another user can neither hold
// that lock nor plant the file; the kernel drops the lock when the process
// ends, however it ends.
#include "service/posix/instance_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "service/binding.h"

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

bool is_private_directory(const std::string& path, uid_t uid) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == uid &&
         (info.st_mode & 077) == 0;
}

std::string guard_directory(const std::string& runtime_directory,
                            const std::string& fallback_parent, uid_t uid) {
  if (!runtime_directory.empty() && runtime_directory[0] == '/' &&
      is_private_directory(runtime_directory, uid)) {
    return runtime_directory;
  }
  const std::string fallback = fallback_parent + "/ZelvoTessavinService." + std::to_string(uid);
  // A directory of that name made by someone else, or opened up, is never
  // used: the guard is then unavailable and the service starts unguarded.
  mkdir(fallback.c_str(), 0700);
  return is_private_directory(fallback, uid) ? fallback : std::string();
}

// The descriptor stays open for the life of the process, and closes on exec
// so that a program the service starts does not inherit the lock.
InstanceGuard native::acquire_instance_guard() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string directory = guard_directory(runtime ? runtime : "", "/tmp", getuid());
  if (directory.empty()) return InstanceGuard::unavailable;
  const std::string file = directory + "/ZelvoTessavinService." + login_session() + ".lock";
  const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return InstanceGuard::unavailable;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return InstanceGuard::held;
  const int error = errno;
  close(fd);
  return error == EWOULDBLOCK ? InstanceGuard::already_running : InstanceGuard::unavailable;
}
