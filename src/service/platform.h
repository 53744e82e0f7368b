#pragma once
// The seam between the service and the operating system. The core calls the
// operating system only through this table; each platform fills it in its own
// subdirectory (win32/, posix/), and tests swap single members to fake a
// platform or inject a failure.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "text/strings.h"

using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;
using Socket = std::uintptr_t;
inline constexpr Socket kNoSocket = ~Socket{0};

enum class InstanceGuard { held, already_running, unavailable };

// One entry of a directory listing.
struct DirectoryEntry {
  WideString name;
  bool is_directory = false;  // a link to a directory counts as one
};

// Tells one directory from every other on the machine, links followed.
struct DirectoryIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const DirectoryIdentity&) const = default;
};

// What tells one state of a file's content from another without reading it.
struct FileStamp {
  std::uint64_t size = 0;
  // Last modification, in the platform's own units: only compared, never shown.
  std::int64_t modified = 0;
  bool operator==(const FileStamp&) const = default;
};

// Whether others may delete or rename a file while it is open for reading.
enum class DeleteSharing { refused, allowed };

// One of the pieces a gather send takes in order.
struct SendPiece {
  const char* data;
  std::size_t length;
};

// What one wait for a connection on the listener came to.
enum class AcceptResult { accepted, idle, failed };

// Longest resolved path, in UTF-16 units, that `full_path` hands out.
inline constexpr std::size_t kMaxFullPath = 2047;

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
  // Milliseconds on a clock that never goes back, from an arbitrary start.
  std::uint64_t (*monotonic_ms)();

  // --- Files and directories
  // True when the path exists and is a directory (a link to one counts).
  bool (*is_directory)(const WideString& path);
  // Creates one directory level; false when it cannot, or the name exists.
  bool (*create_directory)(const WideString& path);
  // Creates a file for writing in place of any file of that name, shared with
  // nobody; kNoFile on failure. Only the user may read it where the system
  // has such modes, and a link at that name is replaced, never written through.
  FileHandle (*create_for_write)(const WideString& path);
  // Writes all `length` bytes; anything less counts as failure.
  bool (*write_file)(FileHandle file, const char* data, std::size_t length);
  // Pushes written data to the disk.
  void (*flush_file)(FileHandle file);
  void (*close_file)(FileHandle file);
  // Replaces `to` as a whole by `from`, durably; on failure `to` is untouched.
  bool (*move_replace)(const WideString& from, const WideString& to);
  void (*delete_file)(const WideString& path);
  // Opens an existing regular file for reading; others may go on reading and
  // writing it, and delete or rename it only as `sharing` says. Directories,
  // devices and pipes are refused. kNoFile on failure.
  FileHandle (*open_for_read)(const WideString& path, DeleteSharing sharing);
  // A path whose last component is the real name of the file that `file`
  // reads, opened from `path`: short (8.3) names spelled out and, where the
  // system can tell, links followed, so that the name says what was opened
  // whatever name opened it. False when the system cannot tell.
  bool (*opened_path)(FileHandle file, const WideString& path, WideString& real);
  bool (*file_size)(FileHandle file, std::uint64_t& size);
  bool (*seek_file)(FileHandle file, std::uint64_t offset);
  // Up to `length` bytes at the file position; 0 at the end, negative on failure.
  long (*read_file)(FileHandle file, char* buffer, std::size_t length);
  // Every entry of a directory but "." and "..", in the file system's order.
  // False when the listing cannot start; a listing that breaks off later keeps
  // what it gathered and still counts as done.
  bool (*list_directory)(const WideString& directory, std::vector<DirectoryEntry>& entries);
  bool (*directory_identity)(const WideString& path, DirectoryIdentity& identity);
  // Size and modification time of the regular file at `path`, links
  // followed; false for anything else or when it cannot be looked at.
  bool (*file_stamp)(const WideString& path, FileStamp& stamp);
  // The absolute, normalised form of `path`; false when it cannot be made or
  // is longer than kMaxFullPath units.
  bool (*full_path)(const WideString& path, WideString& resolved);

  // --- Sockets
  // Starts the socket layer; false when it cannot be used at all.
  bool (*net_start)();
  void (*net_cleanup)();
  // A TCP listener on 127.0.0.1:port. Binding fails while any other socket
  // holds the port, but not because of our own connections in TIME_WAIT.
  // Many threads may wait on it at once.
  Socket (*listen_loopback)(std::uint16_t port);
  // Waits up to about `milliseconds` for one connection and takes it into
  // `connection`, a blocking socket. `idle` when none came for this thread in
  // that time, `failed` when accepting failed.
  AcceptResult (*accept_connection)(Socket listener, unsigned milliseconds, Socket& connection);
  // Bounds every later receive and send on the socket.
  void (*set_timeouts)(Socket socket, unsigned milliseconds);
  // Bounds every later receive on the socket (at least 1 ms); sends keep theirs.
  void (*set_receive_timeout)(Socket socket, unsigned milliseconds);
  // Up to `length` bytes; 0 when the peer closed, negative on error or time-out.
  long (*receive)(Socket socket, char* buffer, int length);
  // A count of bytes taken, possibly short; 0 or negative on failure.
  long (*send)(Socket socket, const char* data, int length);
  // Sends the `count` pieces in order as one sequence, as `send` would their
  // concatenation: a count of bytes taken, possibly short; 0 or negative on
  // failure. No piece is longer than 1 GiB.
  long (*send_gather)(Socket socket, const SendPiece* pieces, int count);
  // Sends `head`, then `length` bytes of the file from `offset` on, straight
  // from the file to the socket without a copy through the service. Each
  // wait for the peer is bounded by the socket's send time-out, and the first
  // failure ends the transfer. True when all was sent. Null where the
  // platform has no such send, and files go through a buffer.
  bool (*send_file)(Socket socket, const char* head, std::size_t head_length, FileHandle file,
                    std::uint64_t offset, std::uint64_t length);
  // Ends the sending direction: the peer sees the end of input once what was
  // sent has arrived, and receiving goes on.
  void (*shutdown_send)(Socket socket);
  void (*close_socket)(Socket socket);
};

// The table in force: the platform's own unless a test installed another.
const PlatformOps& platform();
// The platform's own table, defined by the binding.
const PlatformOps& native_platform();
// Installs `ops` (or the native table again for nullptr). Tests only; call it
// while no other thread of the service runs.
void set_platform(const PlatformOps* ops);
