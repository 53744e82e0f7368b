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
#include <vector>

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

bool same_directory(const std::string& a, const std::string& b) {
  struct stat first;
  struct stat second;
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// A descriptor holding the lock, kNoLock when another holds it, or
// kCannotLock. A lock kept stays open for the life of the process, and closes
// on exec so that a program the service starts does not inherit it.
constexpr int kNoLock = -1;
constexpr int kCannotLock = -2;

int lock_in(const std::string& directory, const std::string& session) {
  const std::string file = directory + "/ZelvoTessavinService." + session + ".lock";
  const int fd = open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return kCannotLock;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
  const int error = errno;
  close(fd);
  return error == EWOULDBLOCK ? kNoLock : kCannotLock;
}

}  // namespace

bool is_private_directory(const std::string& path, uid_t uid) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == uid &&
         (info.st_mode & 077) == 0;
}

std::string fallback_guard_directory(const std::string& parent, uid_t uid) {
  const std::string directory = parent + "/ZelvoTessavinService." + std::to_string(uid);
  mkdir(directory.c_str(), 0700);
  return is_private_directory(directory, uid) ? directory : std::string();
}

InstanceGuard take_instance_guard(const std::string& runtime_directory,
                                  const std::string& fallback_parent, uid_t uid,
                                  const std::string& session) {
  std::vector<std::string> directories;
  const std::string fallback = fallback_guard_directory(fallback_parent, uid);
  if (!fallback.empty()) directories.push_back(fallback);
  if (!runtime_directory.empty() && runtime_directory[0] == '/' &&
      is_private_directory(runtime_directory, uid) &&
      (fallback.empty() || !same_directory(runtime_directory, fallback))) {
    directories.push_back(runtime_directory);
  }
  std::vector<int> held;
  for (const std::string& directory : directories) {
    const int fd = lock_in(directory, session);
    if (fd == kNoLock) {
      for (const int taken : held) close(taken);
      return InstanceGuard::already_running;
    }
    if (fd >= 0) held.push_back(fd);
  }
  return held.empty() ? InstanceGuard::unavailable : InstanceGuard::held;
}

InstanceGuard native::acquire_instance_guard() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return take_instance_guard(runtime ? runtime : "", "/tmp", getuid(), login_session());
}
