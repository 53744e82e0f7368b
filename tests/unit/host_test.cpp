#include "service/host.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "fake_platform.h"
#include "service/paths.h"
#include "temp_dir.h"
#include "update/check.h"

namespace {

// A platform with no real sockets: the executable lives in a temporary
// directory, listening succeeds only on the ports allowed, and accept plays a
// script that ends by leaving the otherwise endless accept loop. Connection
// threads are only recorded, and run at the end, when all they can do is
// come to accept and leave with the script's end.
struct StopAccepting {};

struct ThreadStart {
  void (*proc)(void*);
  void* arg;
  std::size_t sent_before = 0;  // bytes the peer had got when the thread was started
};

struct HostScript {
  WideString executable;
  std::uint16_t first_free_port = kFirstPort;
  bool net_starts = true;
  bool threads_start = true;
  std::vector<Socket> accepts;  // kNoSocket for a failed accept, 0 for none coming
  std::size_t next_accept = 0;
  std::vector<unsigned> accept_waits;
  std::vector<ThreadStart> started;

  std::vector<std::uint16_t> ports_tried;
  std::vector<unsigned> sleeps;
  int cleanups = 0;
  int threads_started = 0;
  int executable_asked = 0;
  int update_threads = 0;
  bool port_file_before_update = false;
} g_host;

WideString fake_executable_path() {
  ++g_host.executable_asked;
  return g_host.executable;
}
bool fake_net_start() { return g_host.net_starts; }
void fake_net_cleanup() { ++g_host.cleanups; }
Socket fake_listen(std::uint16_t port) {
  g_host.ports_tried.push_back(port);
  return port >= g_host.first_free_port ? Socket{7} : kNoSocket;
}
AcceptResult fake_accept(Socket, unsigned milliseconds, Socket& connection) {
  g_host.accept_waits.push_back(milliseconds);
  if (g_host.next_accept == g_host.accepts.size()) throw StopAccepting{};
  connection = g_host.accepts[g_host.next_accept++];
  if (connection == 0) return AcceptResult::idle;
  return connection == kNoSocket ? AcceptResult::failed : AcceptResult::accepted;
}
void fake_sleep(unsigned ms) { g_host.sleeps.push_back(ms); }
bool fake_start_thread(void (*proc)(void*), void* arg) {
  // The self-update is only counted: it has tests of its own.
  if (proc == self_update_thread) {
    ++g_host.update_threads;
    g_host.port_file_before_update =
        std::filesystem::exists(std::filesystem::path(base_directory()) / "service_port.txt");
    return g_host.threads_start;
  }
  if (!g_host.threads_start) return false;
  ++g_host.threads_started;
  g_host.started.push_back({proc, arg, peer().received.size()});
  return true;
}

class Host : public ::testing::Test {
 protected:
  TempDir dir;
  PlatformOverride fake;

  void SetUp() override {
    use_scripted_peer(fake.ops);
    g_host = HostScript{};
    g_host.executable = dir.wide("TessavinServer");
    fake.ops.executable_path = fake_executable_path;
    fake.ops.net_start = fake_net_start;
    fake.ops.net_cleanup = fake_net_cleanup;
    fake.ops.listen_loopback = fake_listen;
    fake.ops.accept_connection = fake_accept;
    fake.ops.sleep_ms = fake_sleep;
    fake.ops.start_thread = fake_start_thread;
  }

  void TearDown() override { run_started_threads(); }

  void run_started_threads() {
    for (const ThreadStart& start : g_host.started) {
      EXPECT_THROW(start.proc(start.arg), StopAccepting);
    }
    g_host.started.clear();
  }

  void serve_until_script_ends() { EXPECT_THROW(run_service(), StopAccepting); }
};

TEST_F(Host, TakesTheFirstFreePortAndPublishesIt) {
  g_host.first_free_port = kFirstPort + 2;
  serve_until_script_ends();
  EXPECT_EQ(g_host.ports_tried, (std::vector<std::uint16_t>{17632, 17633, 17634}));
  EXPECT_EQ(read_file(dir.path / "service_port.txt"), "17634");
  EXPECT_TRUE(std::filesystem::is_directory(dir.path / "data"));
  EXPECT_EQ(base_directory(), dir.path.u16string());
  EXPECT_EQ(data_directory(), (dir.path / "data").u16string());
}

TEST_F(Host, StartsTheSelfUpdateOnceAfterThePortFileAndServesWithoutIt) {
  for (const bool threads : {true, false}) {
    g_host.threads_start = threads;
    g_host.update_threads = 0;
    g_host.next_accept = 0;
    std::filesystem::remove(dir.path / "service_port.txt");
    use_scripted_peer(fake.ops);
    g_host.accepts = {kFakeSocket};
    peer().chunks = {"GET /api/ping HTTP/1.1\r\n\r\n"};
    serve_until_script_ends();
    EXPECT_EQ(g_host.update_threads, 1) << threads;
    EXPECT_TRUE(g_host.port_file_before_update) << threads;
    EXPECT_EQ(peer().received.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << threads;
  }
  // No port, no self-update.
  g_host.update_threads = 0;
  g_host.first_free_port = kLastPort + 1;
  EXPECT_EQ(run_service(), 1);
  EXPECT_EQ(g_host.update_threads, 0);
}

TEST_F(Host, NoFreePortEndsWithOneAndKeepsTheOldPortFile) {
  g_host.first_free_port = kLastPort + 1;
  write_file(dir.path / "service_port.txt", "17639");
  EXPECT_EQ(run_service(), 1);
  EXPECT_EQ(g_host.ports_tried.size(), 10u);
  EXPECT_EQ(g_host.ports_tried.back(), kLastPort);
  EXPECT_EQ(g_host.cleanups, 1);
  EXPECT_EQ(read_file(dir.path / "service_port.txt"), "17639");
}

TEST_F(Host, SocketLayerFailureEndsWithOne) {
  g_host.net_starts = false;
  EXPECT_EQ(run_service(), 1);
  EXPECT_TRUE(g_host.ports_tried.empty());
}

TEST_F(Host, FailedAcceptsAreRetriedEvery30MsAndIdleWaitsAtOnce) {
  g_host.accepts = {kNoSocket, 0, kNoSocket, 0, 0, kNoSocket};
  serve_until_script_ends();
  EXPECT_EQ(g_host.sleeps, (std::vector<unsigned>{30, 30, 30}));
  // Every wait on the listener is bounded by the linger; the last waiting
  // thread, here the first one, stays all the same.
  EXPECT_EQ(g_host.accept_waits, std::vector<unsigned>(7, kAcceptLingerMs));
  EXPECT_EQ(g_host.threads_started, 0);
}

// The accepting thread serves the connection itself, after it has started
// another thread to wait on the listener; without one, it serves all the
// same, and accepts again when it is done.
TEST_F(Host, AcceptingThreadStartsTheNextWaiterThenServes) {
  for (const bool threads : {true, false}) {
    run_started_threads();
    use_scripted_peer(fake.ops);
    g_host.threads_start = threads;
    g_host.threads_started = 0;
    g_host.next_accept = 0;
    g_host.accept_waits.clear();
    g_host.accepts = {kFakeSocket};
    peer().chunks = {"GET /api/ping HTTP/1.1\r\n\r\n"};
    serve_until_script_ends();
    EXPECT_EQ(peer().received.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << threads;
    EXPECT_EQ(peer().closes, 1) << threads;
    EXPECT_EQ(g_host.threads_started, threads ? 1 : 0);
    if (threads) {
      EXPECT_EQ(g_host.started.at(0).sent_before, 0u);
    }
    // Back to the listener after the answer, on the same thread.
    EXPECT_EQ(g_host.accept_waits.size(), 2u) << threads;
  }
}

long throwing_receive(Socket, char*, int) { throw 42; }

// Anything thrown while one connection is served, even what is no standard
// exception, ends that connection only: it is closed once, and the thread
// goes back to the listener.
TEST_F(Host, AnExceptionWhileServingEndsOnlyThatConnection) {
  fake.ops.receive = throwing_receive;
  g_host.threads_start = false;
  g_host.accepts = {kFakeSocket, kFakeSocket};
  serve_until_script_ends();
  EXPECT_EQ(peer().closes, 2);
  EXPECT_EQ(g_host.accept_waits.size(), 3u);
}

// Connections served on real threads. A connection's request arrives only
// once `together` connections are being read at the same time, so a wave of
// them is answered only when each has a thread of its own at once.
struct Crowd {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<Socket> pending;
  bool stopping = false;
  bool threads_start = true;
  int together = 1;
  int reading = 0;
  int closes = 0;
  int threads_started = 0;
  int threads_live = 0;
  std::vector<unsigned> accept_waits;
  std::map<Socket, std::string> sent;
  std::map<Socket, std::thread::id> served_on;
  std::vector<std::thread> threads;
} g_crowd;

const std::string kPing = "GET /api/ping HTTP/1.1\r\n\r\n";

AcceptResult crowd_accept(Socket, unsigned milliseconds, Socket& connection) {
  std::unique_lock<std::mutex> hold(g_crowd.lock);
  g_crowd.accept_waits.push_back(milliseconds);
  // A short stand-in for the linger: none came in "that time".
  g_crowd.changed.wait_for(hold, std::chrono::milliseconds(20),
                           [] { return g_crowd.stopping || !g_crowd.pending.empty(); });
  if (g_crowd.stopping) throw StopAccepting{};
  if (g_crowd.pending.empty()) return AcceptResult::idle;
  connection = g_crowd.pending.front();
  g_crowd.pending.pop_front();
  return AcceptResult::accepted;
}

long crowd_receive(Socket socket, char* buffer, int length) {
  std::unique_lock<std::mutex> hold(g_crowd.lock);
  if (g_crowd.served_on.count(socket) != 0) return 0;
  g_crowd.served_on[socket] = std::this_thread::get_id();
  ++g_crowd.reading;
  g_crowd.changed.notify_all();
  if (!g_crowd.changed.wait_for(hold, std::chrono::seconds(10),
                                [] { return g_crowd.reading >= g_crowd.together; })) {
    return -1;  // no thread of its own for one of the others
  }
  const std::size_t n = std::min(kPing.size(), static_cast<std::size_t>(length));
  kPing.copy(buffer, n);
  return static_cast<long>(n);
}

long crowd_send(Socket socket, const char* data, int length) {
  std::lock_guard<std::mutex> hold(g_crowd.lock);
  g_crowd.sent[socket].append(data, static_cast<std::size_t>(length));
  return length;
}

long crowd_send_gather(Socket socket, const SendPiece* pieces, int count) {
  long sent = 0;
  for (int i = 0; i < count; ++i) {
    sent += crowd_send(socket, pieces[i].data, static_cast<int>(pieces[i].length));
  }
  return sent;
}

void crowd_close(Socket) {
  std::lock_guard<std::mutex> hold(g_crowd.lock);
  ++g_crowd.closes;
  g_crowd.changed.notify_all();
}

void crowd_timeouts(Socket, unsigned) {}

bool crowd_start_thread(void (*proc)(void*), void* arg) {
  if (proc == self_update_thread) return false;
  std::lock_guard<std::mutex> hold(g_crowd.lock);
  if (!g_crowd.threads_start) return false;
  ++g_crowd.threads_started;
  ++g_crowd.threads_live;
  g_crowd.threads.emplace_back([proc, arg] {
    try {
      proc(arg);
    } catch (const StopAccepting&) {
    }
    std::lock_guard<std::mutex> hold(g_crowd.lock);
    --g_crowd.threads_live;
    g_crowd.changed.notify_all();
  });
  return true;
}

class HostThreads : public Host {
 protected:
  std::thread server;
  std::thread::id server_id;

  void SetUp() override {
    Host::SetUp();
    g_crowd.pending.clear();
    g_crowd.stopping = false;
    g_crowd.threads_start = true;
    g_crowd.together = 1;
    g_crowd.reading = g_crowd.closes = g_crowd.threads_started = g_crowd.threads_live = 0;
    g_crowd.accept_waits.clear();
    g_crowd.sent.clear();
    g_crowd.served_on.clear();
    fake.ops.accept_connection = crowd_accept;
    fake.ops.receive = crowd_receive;
    fake.ops.send = crowd_send;
    fake.ops.send_gather = crowd_send_gather;
    fake.ops.close_socket = crowd_close;
    fake.ops.set_timeouts = crowd_timeouts;
    fake.ops.start_thread = crowd_start_thread;
    server = std::thread([] {
      try {
        run_service();
      } catch (const StopAccepting&) {
      }
    });
    server_id = server.get_id();
  }

  void TearDown() override {
    {
      std::lock_guard<std::mutex> hold(g_crowd.lock);
      g_crowd.stopping = true;
      g_crowd.changed.notify_all();
    }
    server.join();
    for (std::thread& thread : g_crowd.threads) thread.join();
    g_crowd.threads.clear();
    Host::TearDown();
  }

  void connect(int count) {
    std::lock_guard<std::mutex> hold(g_crowd.lock);
    for (int i = 0; i < count; ++i) g_crowd.pending.push_back(Socket{100} + i);
    g_crowd.changed.notify_all();
  }

  bool wait_for(const std::function<bool()>& done) {
    std::unique_lock<std::mutex> hold(g_crowd.lock);
    return g_crowd.changed.wait_for(hold, std::chrono::seconds(30), done);
  }

  void expect_pings_answered(int count) {
    std::lock_guard<std::mutex> hold(g_crowd.lock);
    ASSERT_EQ(g_crowd.sent.size(), static_cast<std::size_t>(count));
    for (const auto& [socket, answer] : g_crowd.sent) {
      EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << socket;
      EXPECT_NE(answer.find("\"ok\":true"), std::string::npos) << socket;
    }
  }
};

TEST_F(HostThreads, AWaveIsServedAtOnceAndIdleThreadsEndAfterTheLinger) {
  constexpr int kWave = 16;
  g_crowd.together = kWave;
  connect(kWave);
  ASSERT_TRUE(wait_for([] { return g_crowd.closes == kWave; }));
  expect_pings_answered(kWave);
  {
    std::lock_guard<std::mutex> hold(g_crowd.lock);
    EXPECT_EQ(g_crowd.threads_started, kWave);  // one waiting beyond the wave
  }
  // With the wave over, the started threads find no work and end; the first
  // thread stays waiting on the listener.
  EXPECT_TRUE(wait_for([] { return g_crowd.threads_live == 0; }));
  std::lock_guard<std::mutex> hold(g_crowd.lock);
  for (const unsigned wait : g_crowd.accept_waits) EXPECT_EQ(wait, kAcceptLingerMs);
}

TEST_F(HostThreads, WithoutThreadsTheAcceptingThreadServesEachInTurn) {
  g_crowd.threads_start = false;
  connect(3);
  ASSERT_TRUE(wait_for([] { return g_crowd.closes == 3; }));
  expect_pings_answered(3);
  std::lock_guard<std::mutex> hold(g_crowd.lock);
  EXPECT_EQ(g_crowd.threads_started, 0);
  for (const auto& [socket, thread] : g_crowd.served_on) EXPECT_EQ(thread, server_id) << socket;
}

InstanceGuard another_instance() { return InstanceGuard::already_running; }
InstanceGuard no_guard() { return InstanceGuard::unavailable; }

TEST_F(Host, SecondInstanceEndsWithZeroAndTouchesNothing) {
  fake.ops.acquire_instance_guard = another_instance;
  EXPECT_EQ(service_entry(), 0);
  EXPECT_EQ(g_host.executable_asked, 0);
  EXPECT_TRUE(dir.names().empty());

  // Without a guard at all the service still runs.
  fake.ops.acquire_instance_guard = no_guard;
  g_host.net_starts = false;
  EXPECT_EQ(service_entry(), 1);
  EXPECT_EQ(g_host.executable_asked, 1);
}

TEST_F(Host, BaseDirectoryIsWhatPrecedesTheLastSeparator) {
  const struct {
    const char16_t* separators;
    const char16_t* executable;
    const char16_t* base;
  } cases[] = {
      {u"\\/", u"C:\\Apps\\Tessavin\\TessavinServer.exe", u"C:\\Apps\\Tessavin"},
      {u"\\/", u"Z:\\tmp/run\\dir/TessavinServer.exe", u"Z:\\tmp/run\\dir"},
      {u"\\/", u"C:/Apps/x.exe", u"C:/Apps"},
      {u"\\/", u"x.exe", u"."},
      {u"\\/", u"", u"."},
      {u"/", u"/opt/tessavin/TessavinServer", u"/opt/tessavin"},
      {u"/", u"/opt/back\\slash/TessavinServer", u"/opt/back\\slash"},
      {u"/", u"/TessavinServer", u""},
  };
  for (const auto& c : cases) {
    fake.ops.path_separators = c.separators;
    g_host.executable = c.executable;
    EXPECT_EQ(module_directory(), WideString(c.base));
  }
}

}  // namespace
