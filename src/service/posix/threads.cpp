// Threads on POSIX. A thread whose work is done waits a little while for the
// next piece of work before it ends: making and ending a thread costs far
// more than a connection's own work, and connections come in bursts. Every
// piece of work still gets a thread to itself at once; nothing queues behind
// a busy thread.
#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>

#include "service/binding.h"

namespace {

constexpr auto kLinger = std::chrono::seconds(2);

struct Work {
  void (*proc)(void*);
  void* arg;
};

struct Pool {
  std::mutex lock;
  std::condition_variable arrived;
  std::deque<Work> waiting;  // handed over, not yet taken by a waiting thread
  std::size_t idle = 0;      // threads waiting for work
};

// Never destroyed: threads may still wait on it while the process exits.
Pool& pool() {
  static Pool* const the_pool = new Pool;
  return *the_pool;
}

// The next piece of work, or false once none came within the linger time.
bool next_work(Work& work) {
  Pool& p = pool();
  std::unique_lock<std::mutex> hold(p.lock);
  ++p.idle;
  const bool got = p.arrived.wait_for(hold, kLinger, [&p] { return !p.waiting.empty(); });
  --p.idle;
  if (!got) return false;
  work = p.waiting.front();
  p.waiting.pop_front();
  return true;
}

void* thread_main(void* raw) {
  Work work = *static_cast<Work*>(raw);
  delete static_cast<Work*>(raw);
  do {
    work.proc(work.arg);
  } while (next_work(work));
  return nullptr;
}

// Hands the work to a waiting thread, when there is one not yet promised to
// earlier work.
bool hand_over(const Work& work) {
  Pool& p = pool();
  {
    std::lock_guard<std::mutex> hold(p.lock);
    if (p.idle <= p.waiting.size()) return false;
    try {
      p.waiting.push_back(work);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  p.arrived.notify_one();
  return true;
}

}  // namespace

bool native::start_thread(void (*proc)(void*), void* arg) {
  if (hand_over(Work{proc, arg})) return true;
  // Out of memory is one more reason a thread cannot be made, not a crash.
  auto* start = new (std::nothrow) Work{proc, arg};
  if (start == nullptr) return false;
  pthread_t thread;
  if (pthread_create(&thread, nullptr, thread_main, start) != 0) {
    delete start;
    return false;
  }
  pthread_detach(thread);
  return true;
}
