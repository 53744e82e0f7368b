#pragma once
// What each platform binding (win32/, posix/) defines: one function per
// member of the platform table; each keeps the contract stated beside that
// member in platform.h.
#include "service/platform.h"

namespace native {

extern const char16_t kPathSeparators[];

InstanceGuard acquire_instance_guard();
WideString executable_path();
std::uint32_t current_thread_id();
bool start_thread(void (*proc)(void*), void* arg);
void sleep_ms(unsigned milliseconds);
std::uint64_t monotonic_ms();

bool is_directory(const WideString& path);
bool create_directory(const WideString& path);
FileHandle create_for_write(const WideString& path);
bool write_file(FileHandle file, const char* data, std::size_t length);
void flush_file(FileHandle file);
void close_file(FileHandle file);
bool move_replace(const WideString& from, const WideString& to);
void delete_file(const WideString& path);
FileHandle open_for_read(const WideString& path, DeleteSharing sharing);
bool opened_path(FileHandle file, const WideString& path, WideString& real);
bool file_size(FileHandle file, std::uint64_t& size);
bool seek_file(FileHandle file, std::uint64_t offset);
long read_file(FileHandle file, char* buffer, std::size_t length);
bool list_directory(const WideString& directory, std::vector<DirectoryEntry>& entries);
bool directory_identity(const WideString& path, DirectoryIdentity& identity);
bool file_stamp(const WideString& path, FileStamp& stamp);
bool full_path(const WideString& path, WideString& resolved);

bool net_start();
void net_cleanup();
Socket listen_loopback(std::uint16_t port);
AcceptResult accept_connection(Socket listener, unsigned milliseconds, Socket& connection);
void set_timeouts(Socket socket, unsigned milliseconds);
void set_receive_timeout(Socket socket, unsigned milliseconds);
long receive(Socket socket, char* buffer, int length);
long send(Socket socket, const char* data, int length);
long send_gather(Socket socket, const SendPiece* pieces, int count);
// Null where the platform has none.
extern bool (*const send_file)(Socket socket, const char* head, std::size_t head_length,
                               FileHandle file, std::uint64_t offset, std::uint64_t length);
void shutdown_send(Socket socket);
void close_socket(Socket socket);

}  // namespace native
