#include "service/posix/bindings.h"

const PlatformOps& native_platform() {
  static const PlatformOps ops = {
      .path_separators = u"/",
      .acquire_instance_guard = posix_acquire_instance_guard,
      .executable_path = posix_executable_path,
      .current_thread_id = posix_current_thread_id,
      .start_thread = posix_start_thread,
      .sleep_ms = posix_sleep_ms,
      .is_directory = posix_is_directory,
      .create_directory = posix_create_directory,
      .create_for_write = posix_create_for_write,
      .write_file = posix_write_file,
      .flush_file = posix_flush_file,
      .close_file = posix_close_file,
      .move_replace = posix_move_replace,
      .delete_file = posix_delete_file,
      .net_start = posix_net_start,
      .net_cleanup = posix_net_cleanup,
      .listen_loopback = posix_listen_loopback,
      .accept_connection = posix_accept_connection,
      .set_timeouts = posix_set_timeouts,
      .receive = posix_receive,
      .send = posix_send,
      .close_socket = posix_close_socket,
  };
  return ops;
}
