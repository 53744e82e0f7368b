#include "service/platform.h"

#include "service/binding.h"

namespace {
const PlatformOps* g_ops = nullptr;
}

const PlatformOps& native_platform() {
  static const PlatformOps ops = {
      .path_separators = native::kPathSeparators,
      .acquire_instance_guard = native::acquire_instance_guard,
      .executable_path = native::executable_path,
      .current_thread_id = native::current_thread_id,
      .start_thread = native::start_thread,
      .sleep_ms = native::sleep_ms,
      .monotonic_ms = native::monotonic_ms,
      .is_directory = native::is_directory,
      .create_directory = native::create_directory,
      .create_for_write = native::create_for_write,
      .write_file = native::write_file,
      .flush_file = native::flush_file,
      .close_file = native::close_file,
      .move_replace = native::move_replace,
      .delete_file = native::delete_file,
      .open_for_read = native::open_for_read,
      .opened_path = native::opened_path,
      .file_size = native::file_size,
      .seek_file = native::seek_file,
      .read_file = native::read_file,
      .list_directory = native::list_directory,
      .directory_identity = native::directory_identity,
      .file_stamp = native::file_stamp,
      .full_path = native::full_path,
      .net_start = native::net_start,
      .net_cleanup = native::net_cleanup,
      .listen_loopback = native::listen_loopback,
      .accept_connection = native::accept_connection,
      .set_timeouts = native::set_timeouts,
      .set_receive_timeout = native::set_receive_timeout,
      .receive = native::receive,
      .send = native::send,
      .send_gather = native::send_gather,
      .send_file = native::send_file,
      .shutdown_send = native::shutdown_send,
      .close_socket = native::close_socket,
  };
  return ops;
}

const PlatformOps& platform() { return g_ops ? *g_ops : native_platform(); }

void set_platform(const PlatformOps* ops) { g_ops = ops; }
