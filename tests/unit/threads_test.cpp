#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "service/binding.h"

namespace {

// Work that waits until the whole wave has started: it only finishes when
// every piece of the wave runs at the same time, each on a thread of its own.
struct Wave {
  std::mutex lock;
  std::condition_variable changed;
  int size = 0;
  int started = 0;
  int saw_all = 0;
  int finished = 0;
};

void meet(void* raw) {
  Wave& wave = *static_cast<Wave*>(raw);
  std::unique_lock<std::mutex> hold(wave.lock);
  ++wave.started;
  wave.changed.notify_all();
  if (wave.changed.wait_for(hold, std::chrono::seconds(10),
                            [&wave] { return wave.started == wave.size; })) {
    ++wave.saw_all;
  }
  ++wave.finished;
  wave.changed.notify_all();
}

void run_wave(int size) {
  Wave wave;
  wave.size = size;
  for (int i = 0; i < size; ++i) ASSERT_TRUE(native::start_thread(meet, &wave));
  std::unique_lock<std::mutex> hold(wave.lock);
  ASSERT_TRUE(wave.changed.wait_for(hold, std::chrono::seconds(20),
                                    [&wave] { return wave.finished == wave.size; }));
  EXPECT_EQ(wave.saw_all, size);
}

// Waves one after the other, each larger than the last, while the threads of
// the earlier ones may still be ending.
TEST(Threads, EveryPieceOfWorkRunsAtOnceOnAThreadOfItsOwn) {
  run_wave(8);
  run_wave(12);
  run_wave(40);
}

}  // namespace
