// The system libraries the service opens at run time: a library that cannot
// be opened, or lacks a function, is a failure the callers can take, never a
// crash; an opened libcurl is closed again once its request is over.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "audio/posix/pulse_library.h"
#include "service/platform.h"
#include "text/utf.h"
#include "update/posix/curl_library.h"
#include "update/posix/http_once.h"

namespace {

// A name nothing answers to, and a library without the functions.
const char* const kUnusable[] = {"libtessavin-no-such-library.so.9", TESSAVIN_NO_FUNCTIONS_LIBRARY};

bool library_mapped(const char* name) {
  void* handle = dlopen(name, RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

TEST(RuntimeLibraries, UnusableLibrariesLeaveTheTablesEmpty) {
  for (const char* name : kUnusable) {
    CurlLibrary curl;
    curl.handle = &curl;  // whatever was there before is replaced
    EXPECT_FALSE(open_curl(name, curl)) << name;
    EXPECT_EQ(curl.handle, nullptr) << name;
    EXPECT_EQ(curl.easy_perform, nullptr) << name;

    PulseLibrary pulse;
    EXPECT_FALSE(open_pulse(name, pulse)) << name;
    EXPECT_EQ(pulse.handle, nullptr) << name;
    EXPECT_EQ(pulse.context_new, nullptr) << name;
  }
  EXPECT_FALSE(library_mapped(TESSAVIN_NO_FUNCTIONS_LIBRARY)) << "closed again after the failure";
}

TEST(RuntimeLibraries, TheInstalledLibrariesHaveEveryFunction) {
  CurlLibrary curl;
  ASSERT_TRUE(open_curl(kCurlLibrary, curl));
  EXPECT_NE(curl.easy_perform, nullptr);
  EXPECT_NE(curl.global_cleanup, nullptr);
  close_curl(curl);
  EXPECT_EQ(curl.handle, nullptr);

  // Every caller shares the one table, also when they come at once.
  std::vector<const PulseLibrary*> seen(8);
  std::vector<std::thread> callers;
  for (auto& slot : seen) callers.emplace_back([&slot] { slot = pulse_library(); });
  for (auto& t : callers) t.join();
  ASSERT_NE(seen[0], nullptr);
  EXPECT_NE(seen[0]->cvolume_set, nullptr);
  EXPECT_NE(seen[0]->mainloop_free, nullptr);
  for (const PulseLibrary* library : seen) EXPECT_EQ(library, seen[0]);
}

struct Received {
  std::vector<long> statuses;
  std::vector<long long> announced;
  std::string body;
  std::uint64_t deadline = ~std::uint64_t{0};
};

bool take_head(void* context, long status, const Utf8String&, long long announced) {
  static_cast<Received*>(context)->statuses.push_back(status);
  static_cast<Received*>(context)->announced.push_back(announced);
  return true;
}

std::uint64_t deadline_of(void* context) { return static_cast<Received*>(context)->deadline; }

bool take_body(void* context, const char* data, std::size_t length) {
  static_cast<Received*>(context)->body.append(data, length);
  return true;
}

TEST(RuntimeLibraries, UnusableLibcurlIsARequestWithoutResponse) {
  for (const char* name : kUnusable) {
    Received received;
    const HttpResponseSink sink{&received, take_head, take_body, deadline_of};
    EXPECT_EQ(http_get_once_with(name, u"http://127.0.0.1:1/", 1000, sink),
              HttpOutcome::no_response)
        << name;
    EXPECT_TRUE(received.statuses.empty()) << name;
  }
}

// One plain HTTP answer on loopback, for each of `count` connections; with
// `trickle`, a head announcing a megabyte and then one byte every 100 ms,
// until the client leaves.
struct OneAnswerServer {
  int listener = -1;
  int port = 0;
  std::thread thread;

  explicit OneAnswerServer(int count, bool trickle = false) {
    listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener, 4) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port = ntohs(address.sin_port);
    thread = std::thread([this, count, trickle] {
      for (int i = 0; i < count; ++i) {
        const int peer = accept(listener, nullptr, nullptr);
        if (peer < 0) return;
        std::string head;
        char buffer[512];
        while (head.find("\r\n\r\n") == std::string::npos) {
          const ssize_t got = recv(peer, buffer, sizeof buffer, 0);
          if (got <= 0) break;
          head.append(buffer, static_cast<std::size_t>(got));
        }
        if (trickle) {
          const std::string head_only = "HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n";
          send(peer, head_only.data(), head_only.size(), MSG_NOSIGNAL);
          while (send(peer, "x", 1, MSG_NOSIGNAL) == 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
          }
          close(peer);
          continue;
        }
        const std::string answer =
            "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello";
        send(peer, answer.data(), answer.size(), MSG_NOSIGNAL);
        close(peer);
      }
    });
  }
  ~OneAnswerServer() {
    if (thread.joinable()) thread.join();
    if (listener >= 0) close(listener);
  }
};

TEST(RuntimeLibraries, LibcurlIsOpenOnlyForTheRequest) {
  ASSERT_FALSE(library_mapped(kCurlLibrary)) << "nothing of the test keeps it open";
  OneAnswerServer server(2);
  ASSERT_NE(server.port, 0);
  const WideString url = utf8_to_utf16("http://127.0.0.1:" + std::to_string(server.port) + "/");
  // Twice: opened again after it was closed.
  for (int round = 0; round < 2; ++round) {
    Received received;
    const HttpResponseSink sink{&received, take_head, take_body, deadline_of};
    EXPECT_EQ(http_get_once_with(kCurlLibrary, url, 5000, sink), HttpOutcome::done);
    EXPECT_EQ(received.statuses, std::vector<long>{200});
    EXPECT_EQ(received.body, "hello");
    EXPECT_FALSE(library_mapped(kCurlLibrary)) << "still mapped after round " << round;
  }
}

// libcurl by itself would wait as long as a byte keeps coming; the sink's
// deadline ends the request however the bytes trickle in.
TEST(RuntimeLibraries, ATricklingAnswerEndsAtTheDeadline) {
  OneAnswerServer server(1, true);
  ASSERT_NE(server.port, 0);
  const WideString url = utf8_to_utf16("http://127.0.0.1:" + std::to_string(server.port) + "/");
  Received received;
  const std::uint64_t start = platform().monotonic_ms();
  received.deadline = start + 2000;
  const HttpResponseSink sink{&received, take_head, take_body, deadline_of};
  EXPECT_EQ(http_get_once_with(kCurlLibrary, url, 5000, sink), HttpOutcome::broken);
  const std::uint64_t took = platform().monotonic_ms() - start;
  EXPECT_GE(took, 2000u);
  EXPECT_LT(took, 4500u);
  EXPECT_EQ(received.announced, std::vector<long long>{1000000});
  EXPECT_GT(received.body.size(), 5u);
}

}  // namespace
