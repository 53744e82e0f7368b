// File and directory operations on POSIX. Paths arrive as UTF-16 and are
// handed to the kernel as UTF-8.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "service/binding.h"
#include "text/utf.h"

namespace {

std::string os_path(const WideString& path) { return utf16_to_utf8(path); }

// Makes a finished rename survive a power cut.
void sync_parent_directory(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const std::string parent = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  const int fd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

const char16_t native::kPathSeparators[] = u"/";

bool native::is_directory(const WideString& path) {
  struct stat info;
  return stat(os_path(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// What the service keeps is the user's own, even in a shared base directory.
bool native::create_directory(const WideString& path) {
  return mkdir(os_path(path).c_str(), 0700) == 0;
}

// Always a new file: whatever held the name before, a link planted there
// included, is removed rather than followed or written through (a hard link
// would carry the bytes into another file). Should the name be taken again in
// between, the create fails.
FileHandle native::create_for_write(const WideString& path) {
  const std::string name = os_path(path);
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = open(name.c_str(), kFlags, 0600);
  if (fd < 0 && errno == EEXIST && unlink(name.c_str()) == 0) fd = open(name.c_str(), kFlags, 0600);
  return fd < 0 ? kNoFile : fd;
}

bool native::write_file(FileHandle file, const char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t n = write(static_cast<int>(file), data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

void native::flush_file(FileHandle file) { fsync(static_cast<int>(file)); }

void native::close_file(FileHandle file) { close(static_cast<int>(file)); }

bool native::move_replace(const WideString& from, const WideString& to) {
  const std::string target = os_path(to);
  if (rename(os_path(from).c_str(), target.c_str()) != 0) return false;
  sync_parent_directory(target);
  return true;
}

void native::delete_file(const WideString& path) { unlink(os_path(path).c_str()); }

// Nothing here keeps a file from being deleted; `sharing` has no say.
FileHandle native::open_for_read(const WideString& path, DeleteSharing) {
  // Non-blocking so that a FIFO cannot stall the open; only regular files pass.
  const int fd = open(os_path(path).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return kNoFile;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return kNoFile;
  }
  return fd;
}

bool native::file_size(FileHandle file, std::uint64_t& size) {
  struct stat info;
  if (fstat(static_cast<int>(file), &info) != 0 || info.st_size < 0) return false;
  size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

bool native::seek_file(FileHandle file, std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
  return lseek(static_cast<int>(file), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

long native::read_file(FileHandle file, char* buffer, std::size_t length) {
  if (length > (std::size_t{1} << 30)) length = std::size_t{1} << 30;
  for (;;) {
    const ssize_t n = read(static_cast<int>(file), buffer, length);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

// The kernel keeps the name the file has now, links resolved. Without /proc
// the path itself must do: these file systems have no second, short name.
bool native::opened_path(FileHandle file, const WideString& path, WideString& real) {
  const std::string link = "/proc/self/fd/" + std::to_string(file);
  std::string target(256, '\0');
  for (;;) {
    const ssize_t n = readlink(link.c_str(), target.data(), target.size());
    if (n < 0) {
      if (errno != ENOENT) return false;
      real = path;
      return true;
    }
    if (static_cast<std::size_t>(n) < target.size()) {
      target.resize(static_cast<std::size_t>(n));
      break;
    }
    if (target.size() >= (std::size_t{1} << 20)) return false;
    target.resize(target.size() * 2);
  }
  real = utf8_to_utf16(target);
  return true;
}
