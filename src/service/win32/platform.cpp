#include "service/win32/bindings.h"

const PlatformOps& native_platform() {
  static const PlatformOps ops = {
      .path_separators = u"\\/",
      .acquire_instance_guard = win32_acquire_instance_guard,
      .executable_path = win32_executable_path,
      .current_thread_id = win32_current_thread_id,
      .start_thread = win32_start_thread,
      .sleep_ms = win32_sleep_ms,
      .is_directory = win32_is_directory,
      .create_directory = win32_create_directory,
      .create_for_write = win32_create_for_write,
      .write_file = win32_write_file,
      .flush_file = win32_flush_file,
      .close_file = win32_close_file,
      .move_replace = win32_move_replace,
      .delete_file = win32_delete_file,
      .net_start = win32_net_start,
      .net_cleanup = win32_net_cleanup,
      .listen_loopback = win32_listen_loopback,
      .accept_connection = win32_accept_connection,
      .set_timeouts = win32_set_timeouts,
      .receive = win32_receive,
      .send = win32_send,
      .close_socket = win32_close_socket,
  };
  return ops;
}
