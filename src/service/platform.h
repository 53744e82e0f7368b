#pragma once
// The seam between the service and the operating system. The core calls the
// operating system only through this table; each platform fills it in its own
// subdirectory (win32/, posix/), and tests swap single members to fake a
// platform or inject a failure.
#include <cstddef>
#include <cstdint>

#include "text/strings.h"

using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;
using Socket = std::uintptr_t;
inline constexpr Socket kNoSocket = ~Socket{0};

enum class InstanceGuard { held, already_running, unavailable };

struct PlatformOps {
  // Path separators this platform accepts; the first one is used for joining.
  const char16_t* path_separators;

  // --- Process and threads
  // Takes the per-user, per-session single-instance guard for the life of the
  // process; the operating system releases it when the process ends.
  InstanceGuard (*acquire_instance_guard)();
  // Full path of the running executable; empty when it cannot be determined.
  WideString (*executable_path)();
  // A number that tells the calling thread from every other live thread.
  std::uint32_t (*current_thread_id)();
  // Runs proc(arg) on a new detached thread; false when none could be made.
  bool (*start_thread)(void (*proc)(void*), void* arg);
  void (*sleep_ms)(unsigned milliseconds);

  // --- Files and directories
  // True when the path exists and is a directory (a link to one counts).
  bool (*is_directory)(const WideString& path);
  // Creates one directory level; false when it cannot, or the name exists.
  bool (*create_directory)(const WideString& path);
  // Creates or truncates a file for writing, shared with nobody; kNoFile on failure.
  FileHandle (*create_for_write)(const WideString& path);
  // Writes all `length` bytes; anything less counts as failure.
  bool (*write_file)(FileHandle file, const char* data, std::size_t length);
  // Pushes written data to the disk.
  void (*flush_file)(FileHandle file);
  void (*close_file)(FileHandle file);
  // Replaces `to` as a whole by `from`, durably; on failure `to` is untouched.
  bool (*move_replace)(const WideString& from, const WideString& to);
  void (*delete_file)(const WideString& path);

  // --- Sockets
  // Starts the socket layer; false when it cannot be used at all.
  bool (*net_start)();
  void (*net_cleanup)();
  // A TCP listener on 127.0.0.1:port. Binding fails while any other socket
  // holds the port, but not because of our own connections in TIME_WAIT.
  Socket (*listen_loopback)(std::uint16_t port);
  // One connected socket, or kNoSocket on failure.
  Socket (*accept_connection)(Socket listener);
  // Bounds every later receive and send on the socket.
  void (*set_timeouts)(Socket socket, unsigned milliseconds);
  // Up to `length` bytes; 0 when the peer closed, negative on error or time-out.
  long (*receive)(Socket socket, char* buffer, int length);
  // A count of bytes taken, possibly short; 0 or negative on failure.
  long (*send)(Socket socket, const char* data, int length);
  void (*close_socket)(Socket socket);
};

// The table in force: the platform's own unless a test installed another.
const PlatformOps& platform();
// The platform's own table, defined by the binding.
const PlatformOps& native_platform();
// Installs `ops` (or the native table again for nullptr). Tests only; call it
// while no other thread of the service runs.
void set_platform(const PlatformOps* ops);
