#include "service/host.h"

#include <string>

#include "http/connection.h"
#include "service/atomic_write.h"
#include "service/paths.h"
#include "service/platform.h"
#include "update/check.h"

namespace {

void connection_thread(void* argument) {
  handle_connection(static_cast<Socket>(reinterpret_cast<std::uintptr_t>(argument)));
}

Socket listen_on_first_free_port(std::uint16_t& port) {
  for (std::uint32_t p = kFirstPort; p <= kLastPort; ++p) {
    const Socket listener = platform().listen_loopback(static_cast<std::uint16_t>(p));
    if (listener != kNoSocket) {
      port = static_cast<std::uint16_t>(p);
      return listener;
    }
  }
  return kNoSocket;
}

}  // namespace

int service_entry() {
  if (platform().acquire_instance_guard() == InstanceGuard::already_running) return 0;
  return run_service();
}

int run_service() {
  const PlatformOps& os = platform();
  set_service_directories(module_directory());
  // A missing data directory is not fatal: the routes that need it fail on
  // their own.
  ensure_directory(data_directory());

  if (!os.net_start()) return 1;
  std::uint16_t port = 0;
  const Socket listener = listen_on_first_free_port(port);
  if (listener == kNoSocket) {
    os.net_cleanup();
    return 1;
  }
  write_file_atomic(join_path(base_directory(), u"service_port.txt"), std::to_string(port));

  // Once per start. Without a thread of its own there is no self-update in
  // this run; the service serves all the same.
  os.start_thread(self_update_thread, nullptr);

  for (;;) {
    const Socket connection = os.accept_connection(listener);
    if (connection == kNoSocket) {
      os.sleep_ms(30);
      continue;
    }
    void* argument = reinterpret_cast<void*>(static_cast<std::uintptr_t>(connection));
    // Without a thread of its own the connection is served here, and
    // accepting resumes when it is done.
    if (!os.start_thread(connection_thread, argument)) connection_thread(argument);
  }
}
