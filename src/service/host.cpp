#include "service/host.h"

#include <atomic>
#include <memory>
#include <new>
#include <string>

#include "http/connection.h"
#include "service/atomic_write.h"
#include "service/paths.h"
#include "service/platform.h"
#include "update/check.h"

namespace {

// The connection threads share the listener: each idle one waits on it and
// serves what it accepts itself, so a connection never waits for a hand-over
// from another thread. A thread that has just accepted makes sure another one
// waits before it serves, so every connection has a thread of its own at
// once. Threads that find no work within the linger end, but one always waits.
struct Acceptors {
  Socket listener = kNoSocket;
  std::atomic<int> waiting{0};  // threads waiting on the listener, or about to
};

using SharedAcceptors = std::shared_ptr<Acceptors>;

void accept_and_serve(const SharedAcceptors& acceptors, bool may_end);

void acceptor_thread(void* raw) {
  const std::unique_ptr<SharedAcceptors> acceptors(static_cast<SharedAcceptors*>(raw));
  accept_and_serve(*acceptors, true);
}

// Whatever one connection meets ends that connection only: an exception
// leaving a thread would end the whole process. The socket is closed here
// only when nothing else closed it, since handle_connection closes it on
// every path that returns.
void serve_guarded(Socket connection) {
  try {
    handle_connection(connection);
  } catch (...) {
    platform().close_socket(connection);
  }
}

// Counted as waiting before it runs, so that no other thread starts one too.
bool start_acceptor(const SharedAcceptors& acceptors) {
  acceptors->waiting.fetch_add(1);
  // Out of memory is one more reason a thread cannot be started.
  auto* share = new (std::nothrow) SharedAcceptors(acceptors);
  if (share != nullptr && platform().start_thread(acceptor_thread, share)) return true;
  delete share;
  acceptors->waiting.fetch_sub(1);
  return false;
}

// True when this thread, found idle, may end: another one still waits.
bool leave_if_others_wait(Acceptors& acceptors) {
  int waiting = acceptors.waiting.load();
  while (waiting > 1) {
    if (acceptors.waiting.compare_exchange_weak(waiting, waiting - 1)) return true;
  }
  return false;
}

// The calling thread counts as waiting when it comes in.
void accept_and_serve(const SharedAcceptors& acceptors, bool may_end) {
  const PlatformOps& os = platform();
  for (;;) {
    Socket connection = kNoSocket;
    switch (os.accept_connection(acceptors->listener, kAcceptLingerMs, connection)) {
      case AcceptResult::idle:
        if (may_end && leave_if_others_wait(*acceptors)) return;
        continue;
      case AcceptResult::failed:
        os.sleep_ms(30);
        continue;
      case AcceptResult::accepted:
        break;
    }
    // When no thread can be started, this one serves all the same, and the
    // next connection waits in the backlog until it is done.
    if (acceptors->waiting.fetch_sub(1) == 1) start_acceptor(acceptors);
    serve_guarded(connection);
    acceptors->waiting.fetch_add(1);
  }
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

  const auto acceptors = std::make_shared<Acceptors>();
  acceptors->listener = listener;
  acceptors->waiting = 1;  // this thread, which never ends
  accept_and_serve(acceptors, false);
  return 1;
}
