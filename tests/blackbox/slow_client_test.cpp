// Clients that send their request a byte at a time hold only their own
// connection: others are served meanwhile, and the silent ones are cut off
// by the socket time-out; heads that keep dribbling are cut off by the
// deadline of the head as a whole.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "answers.h"
#include "fixtures.h"
#include "harness.h"
#include "robust_tools.h"

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

// Sets this process's open-file limits and puts the old ones back at the end.
struct FileLimit {
  rlimit old{};
  bool set = false;
  FileLimit(rlim_t soft, rlim_t hard) {
    if (getrlimit(RLIMIT_NOFILE, &old) != 0) return;
    const rlimit wanted{soft, hard};
    set = setrlimit(RLIMIT_NOFILE, &wanted) == 0;
  }
  ~FileLimit() {
    if (set) setrlimit(RLIMIT_NOFILE, &old);
  }
};

// The soft and hard open-file limits of a running process; 0, 0 if unknown.
std::pair<rlim_t, rlim_t> open_file_limits(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/limits");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("Max open files", 0) != 0) continue;
    std::istringstream fields(line.substr(std::strlen("Max open files")));
    unsigned long long soft = 0;
    unsigned long long hard = 0;
    if (fields >> soft >> hard) return {soft, hard};
  }
  return {0, 0};
}

constexpr int kFloodClients = 1100;
// The soft limit a desktop session commonly starts programs with.
constexpr rlim_t kCommonSoftLimit = 1024;
constexpr rlim_t kFloodHardLimit = 4096;
// Well inside the receive time-out, so only the head's deadline ends them.
constexpr auto kFloodByteInterval = 3s;
constexpr auto kHeadDeadline = 15s;

using Flood = ServiceTest;

// A ping on a new connection, its answer read for at most `limit`.
Exchange ping_within(int port, std::chrono::milliseconds limit) {
  Client client(port);
  if (!client.connected()) return {};
  client.send("GET /api/ping HTTP/1.1\r\n\r\n");
  return client.read_all(limit);
}

// More dribbling heads than descriptors under the common soft limit: the
// service takes the hard limit, so every head is read and cut off at its
// deadline, and a ping is answered during the flood and right after it.
TEST_F(Flood, SlowHeadsBeyondTheCommonDescriptorLimitEndOnTime) {
  if (under_wine()) GTEST_SKIP() << "runs against the native binary";
  rlimit own{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &own), 0);
  const rlim_t hard = std::max(own.rlim_max, kFloodHardLimit);
  std::optional<Service> service;
  {
    // The service inherits these; raising the hard limit needs root.
    const FileLimit start(kCommonSoftLimit, hard);
    if (!start.set) GTEST_SKIP() << "cannot raise the hard open-file limit to " << hard;
    service.emplace(install);
  }
  const int port = service->wait_until_serving();
  ASSERT_NE(port, 0);
  EXPECT_EQ(open_file_limits(service->pid), std::make_pair(hard, hard));
  const FileLimit room(hard, hard);  // for the test's own clients
  ASSERT_TRUE(room.set);

  const std::string head = "GET /api/ping HTTP/1.1\r\nX-Slow: ";
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < kFloodClients; ++i) {
    clients.push_back(std::make_unique<Client>(port));
    ASSERT_TRUE(clients.back()->connected()) << i;
    clients.back()->send(head.substr(0, 1));
  }
  const auto flooded = Clock::now();

  // Dribble to every open connection until all of them are closed, noting
  // any that is answered (a head never ends, so none may be).
  std::vector<pollfd> watched(kFloodClients);
  for (int i = 0; i < kFloodClients; ++i) watched[i] = pollfd{clients[i]->fd, POLLIN, 0};
  int open = kFloodClients;
  int answered = 0;
  bool pinged = false;
  std::size_t at = 1;
  auto next_byte = flooded + kFloodByteInterval;
  // A sanitized service makes its threads far more slowly, so the last
  // connections are taken, and cut off, later.
  const auto bound = kHeadDeadline + (sanitized() ? 45s : 15s);
  while (open > 0 && Clock::now() - flooded < bound) {
    const auto wait = std::clamp<long long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(next_byte - Clock::now()).count(), 0,
        500);
    if (poll(watched.data(), watched.size(), static_cast<int>(wait)) > 0) {
      for (pollfd& p : watched) {
        if (p.fd < 0 || p.revents == 0) continue;
        char byte;
        if (recv(p.fd, &byte, 1, MSG_DONTWAIT) > 0) ++answered;
        p.fd = -1;  // watched no more; the client closes it at the end
        --open;
      }
    }
    // Mid-flood: once more connections are held than the common limit has
    // descriptors for (a thread each), a new one is still served.
    if (!pinged && proc_status(service->pid, "Threads") > static_cast<long>(kCommonSoftLimit)) {
      pinged = true;
      const Exchange got = ping_within(port, ping_bound());
      EXPECT_EQ(got.received, expected::kPing) << "during the flood";
    }
    if (Clock::now() < next_byte) continue;
    const std::string text = at < head.size() ? head.substr(at, 1) : "a";
    ++at;
    for (std::size_t i = 0; i < watched.size(); ++i) {
      if (watched[i].fd >= 0) clients[i]->send(text);
    }
    next_byte += kFloodByteInterval;
  }
  EXPECT_TRUE(pinged) << "never more than " << kCommonSoftLimit << " connections held at once";
  const auto cut_off = Clock::now();
  const Exchange after = ping_within(port, sanitized() ? ping_bound() : 1s);
  EXPECT_EQ(open, 0) << "connections still open "
                     << std::chrono::duration_cast<std::chrono::seconds>(cut_off - flooded).count()
                     << " s after the flood";
  EXPECT_EQ(answered, 0);
  EXPECT_EQ(after.received, expected::kPing) << "right after the flood";
  std::printf(
      "%d slow heads cut off %lld ms after the flood began\n", kFloodClients,
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(cut_off - flooded).count()));
  clients.clear();
  EXPECT_TRUE(service->running()) << "the service died";
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
