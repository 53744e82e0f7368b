// Threads on POSIX.
#include <pthread.h>

#include <new>

#include "service/binding.h"

namespace {

struct ThreadStart {
  void (*proc)(void*);
  void* arg;
};

void* thread_main(void* raw) {
  const ThreadStart start = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  start.proc(start.arg);
  return nullptr;
}

}  // namespace

bool native::start_thread(void (*proc)(void*), void* arg) {
  // Out of memory is one more reason a thread cannot be made, not a crash.
  auto* start = new (std::nothrow) ThreadStart{proc, arg};
  if (start == nullptr) return false;
  pthread_t thread;
  if (pthread_create(&thread, nullptr, thread_main, start) != 0) {
    delete start;
    return false;
  }
  pthread_detach(thread);
  return true;
}
