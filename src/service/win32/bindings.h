#pragma once
// The Windows members of the platform table, one file per concern.
#include "service/platform.h"

InstanceGuard win32_acquire_instance_guard();
WideString win32_executable_path();
std::uint32_t win32_current_thread_id();
bool win32_start_thread(void (*proc)(void*), void* arg);
void win32_sleep_ms(unsigned milliseconds);

bool win32_is_directory(const WideString& path);
bool win32_create_directory(const WideString& path);
FileHandle win32_create_for_write(const WideString& path);
bool win32_write_file(FileHandle file, const char* data, std::size_t length);
void win32_flush_file(FileHandle file);
void win32_close_file(FileHandle file);
bool win32_move_replace(const WideString& from, const WideString& to);
void win32_delete_file(const WideString& path);

bool win32_net_start();
void win32_net_cleanup();
Socket win32_listen_loopback(std::uint16_t port);
Socket win32_accept_connection(Socket listener);
void win32_set_timeouts(Socket socket, unsigned milliseconds);
long win32_receive(Socket socket, char* buffer, int length);
long win32_send(Socket socket, const char* data, int length);
void win32_close_socket(Socket socket);
