#include "service/host.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "service/paths.h"
#include "temp_dir.h"
#include "update/check.h"

namespace {

// A platform with no real sockets: the executable lives in a temporary
// directory, listening succeeds only on the ports allowed, and accept plays a
// script that ends by leaving the otherwise endless accept loop.
struct StopAccepting {};

struct HostScript {
  WideString executable;
  std::uint16_t first_free_port = kFirstPort;
  bool net_starts = true;
  bool threads_start = true;
  std::vector<Socket> accepts;  // kNoSocket for a failed accept
  std::size_t next_accept = 0;

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
Socket fake_accept(Socket) {
  if (g_host.next_accept == g_host.accepts.size()) throw StopAccepting{};
  return g_host.accepts[g_host.next_accept++];
}
void fake_sleep(unsigned ms) { g_host.sleeps.push_back(ms); }
bool fake_start_thread(void (*proc)(void*), void* arg) {
  // The self-update is only counted: it has tests of its own.
  if (proc == self_update_thread) {
    ++g_host.update_threads;
    g_host.port_file_before_update = std::filesystem::exists(
        std::filesystem::path(base_directory()) / "service_port.txt");
    return g_host.threads_start;
  }
  if (!g_host.threads_start) return false;
  ++g_host.threads_started;
  proc(arg);  // run at once: the test needs no real concurrency
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

TEST_F(Host, FailedAcceptsAreRetriedEvery30Ms) {
  g_host.accepts = {kNoSocket, kNoSocket, kNoSocket};
  serve_until_script_ends();
  EXPECT_EQ(g_host.sleeps, (std::vector<unsigned>{30, 30, 30}));
}

TEST_F(Host, ServesEachConnectionOnAThreadOrElseInline) {
  for (const bool threads : {true, false}) {
    use_scripted_peer(fake.ops);
    g_host.threads_start = threads;
    g_host.threads_started = 0;
    g_host.next_accept = 0;
    g_host.accepts = {kFakeSocket};
    peer().chunks = {"GET /api/ping HTTP/1.1\r\n\r\n"};
    serve_until_script_ends();
    EXPECT_EQ(peer().received.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << threads;
    EXPECT_EQ(peer().closes, 1) << threads;
    EXPECT_EQ(g_host.threads_started, threads ? 1 : 0);
  }
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
