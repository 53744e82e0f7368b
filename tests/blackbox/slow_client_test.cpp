// Clients that send their request a byte at a time hold only their own
// connection: others are served meanwhile, and the silent ones are cut off
// by the socket time-out.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "answers.h"
#include "fixtures.h"
#include "harness.h"

namespace blackbox {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kSlowClients = 200;
constexpr auto kByteInterval = 150ms;
// A ping must not wait for the slow clients; the bound has ample margin
// for a loaded two-core machine, and more under a sanitizer, where every
// thread start and receive of the service costs many times more.
std::chrono::milliseconds ping_bound() { return sanitized() ? 6s : 2s; }
// The service's receive time-out is 15 s; the margin covers a busy machine.
constexpr auto kCutOffBound = 25s;

using SlowClients = RunningService;

TEST_F(SlowClients, ByteAtATimeHeadsDelayNoOtherClient) {
  if (under_wine()) GTEST_SKIP() << "runs against the native binary";
  const std::string whole = "GET /api/ping HTTP/1.1\r\n\r\n";
  // Even clients send the whole head, odd ones stop halfway and fall silent.
  const std::string half = whole.substr(0, whole.size() / 2);
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < kSlowClients; ++i) {
    clients.push_back(std::make_unique<Client>(port));
    ASSERT_TRUE(clients.back()->connected()) << i;
  }

  std::atomic<bool> dribbling{true};
  std::thread dribbler([&] {
    for (std::size_t at = 0; at < whole.size(); ++at) {
      for (int i = 0; i < kSlowClients; ++i) {
        const std::string& text = i % 2 == 0 ? whole : half;
        if (at < text.size()) clients[i]->send(text.substr(at, 1));
      }
      std::this_thread::sleep_for(kByteInterval);
    }
    dribbling = false;
  });

  int pings = 0;
  Clock::duration slowest{};
  while (dribbling) {
    const auto started = Clock::now();
    Client client(port);
    if (!client.connected()) {
      ADD_FAILURE() << "no connection while the slow clients dribble";
      break;
    }
    client.send(whole);
    const Exchange got = client.read_all(ping_bound());
    const auto took = Clock::now() - started;
    EXPECT_TRUE(got.closed);
    EXPECT_EQ(got.received, expected::kPing);
    slowest = std::max(slowest, took);
    ++pings;
    std::this_thread::sleep_for(200ms);
  }
  dribbler.join();
  const auto dribble_end = Clock::now();
  EXPECT_GE(pings, 5);
  EXPECT_LT(slowest, ping_bound());
  std::printf("%d pings while %d clients dribbled; slowest took %lld ms\n", pings, kSlowClients,
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(slowest).count()));

  // The complete heads are answered; the silent ones closed without a word.
  for (int i = 0; i < kSlowClients; i += 2) {
    const Exchange got = clients[i]->read_all(5s);
    EXPECT_TRUE(got.closed) << i;
    EXPECT_EQ(got.received, expected::kPing) << i;
  }
  for (int i = 1; i < kSlowClients; i += 2) {
    const auto left = kCutOffBound - (Clock::now() - dribble_end);
    const Exchange got =
        clients[i]->read_all(std::chrono::duration_cast<std::chrono::milliseconds>(left));
    EXPECT_TRUE(got.closed) << i << " still open after the time-out";
    EXPECT_EQ(got.received, "") << i;
  }
  expect_ping_answered();
}

// A connection that never sends a byte waits first in the kernel, for the
// deferred accept, then on a thread for the receive time-out; it is closed
// without a word, and costs no other client anything meanwhile.
TEST_F(SlowClients, SilentConnectionsAreClosedWithoutAWord) {
  constexpr int kSilent = 20;
  std::vector<std::unique_ptr<Client>> silent;
  const auto connected = Clock::now();
  for (int i = 0; i < kSilent; ++i) {
    silent.push_back(std::make_unique<Client>(port));
    ASSERT_TRUE(silent.back()->connected()) << i;
  }
  expect_ping_answered();
  for (int i = 0; i < kSilent; ++i) {
    const auto left = kCutOffBound + 5s - (Clock::now() - connected);
    const Exchange got =
        silent[i]->read_all(std::chrono::duration_cast<std::chrono::milliseconds>(left));
    EXPECT_TRUE(got.closed) << i << " still open after the time-out";
    EXPECT_EQ(got.received, "") << i;
  }
  // Not before the receive time-out: a silent client is not cut short.
  EXPECT_GE(Clock::now() - connected, 14s);
  expect_ping_answered();
}

}  // namespace
}  // namespace blackbox
