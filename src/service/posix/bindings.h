#pragma once
// The POSIX members of the platform table, one file per concern.
#include "service/platform.h"

InstanceGuard posix_acquire_instance_guard();
WideString posix_executable_path();
std::uint32_t posix_current_thread_id();
bool posix_start_thread(void (*proc)(void*), void* arg);
void posix_sleep_ms(unsigned milliseconds);

bool posix_is_directory(const WideString& path);
bool posix_create_directory(const WideString& path);
FileHandle posix_create_for_write(const WideString& path);
bool posix_write_file(FileHandle file, const char* data, std::size_t length);
void posix_flush_file(FileHandle file);
void posix_close_file(FileHandle file);
bool posix_move_replace(const WideString& from, const WideString& to);
void posix_delete_file(const WideString& path);

bool posix_net_start();
void posix_net_cleanup();
Socket posix_listen_loopback(std::uint16_t port);
Socket posix_accept_connection(Socket listener);
void posix_set_timeouts(Socket socket, unsigned milliseconds);
long posix_receive(Socket socket, char* buffer, int length);
long posix_send(Socket socket, const char* data, int length);
void posix_close_socket(Socket socket);
