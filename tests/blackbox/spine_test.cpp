// The service host and HTTP front end seen from outside: start-up, ports,
// single instance, the fixed answers and malformed input.
#include <gtest/gtest.h>

#include <thread>

#include "answers.h"
#include "fixtures.h"
#include "harness.h"

namespace blackbox {
namespace {

using namespace std::chrono_literals;

using expected::kNotFound;
using expected::kPing;
using expected::kPreflight;

std::string binary_name() { return std::filesystem::path(getenv("TESSAVIN_SERVER")).filename(); }

using Spine = ServiceTest;
using Running = RunningService;

TEST_F(Running, AnswersPingPreflightAndFallbackByteForByte) {
  const struct {
    const char* request;
    const std::string& answer;
  } cases[] = {
      {"GET /api/ping HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", kPing},
      {"GET /api/ping\r\n\r\n", kPing},
      {"GET /api/pin%67?x=1 HTTP/1.1\r\n\r\n", kPing},
      {"GET /api/ping?t=5 HTTP/1.0\r\n\r\n", kPing},
      {"OPTIONS /api/ping HTTP/1.1\r\nOrigin: https://example.org\r\n"
       "Access-Control-Request-Method: PUT\r\n\r\n",
       kPreflight},
      {"OPTIONS /no/such/route HTTP/1.1\r\n\r\n", kPreflight},
      {"GET /api/ping/ HTTP/1.1\r\n\r\n", kNotFound},
      {"GET /API/PING HTTP/1.1\r\n\r\n", kNotFound},
      {"GET /api/ping%3Ft=5 HTTP/1.1\r\n\r\n", kNotFound},
      {"get /api/ping HTTP/1.1\r\n\r\n", kNotFound},
      {"HEAD /api/ping HTTP/1.1\r\n\r\n", kNotFound},
      {"POST /api/ping HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}", kNotFound},
      {"DELETE /api/ping HTTP/1.1\r\n\r\n", kNotFound},
      {"GET /api/data/ HTTP/1.1\r\n\r\n", kNotFound},
      {"GET  /api/ping HTTP/1.1\r\n\r\n", kNotFound},
      {"BREW /coffee HTCPCP/1.0\r\n\r\n", kNotFound},
  };
  for (const auto& c : cases) {
    const Exchange got = exchange(port, c.request);
    EXPECT_EQ(got.received, c.answer) << c.request;
    EXPECT_TRUE(got.closed) << c.request;
  }
}

TEST_F(Running, MalformedRequestsAreClosedWithoutAnAnswer) {
  const struct {
    const char* bytes;
    bool half_close;  // the client stops sending, as one that gave up would
  } cases[] = {
      {"\r\n\r\n", false},
      {"\r\nGET /api/ping HTTP/1.1\r\n\r\n", false},
      {"GARBAGE\r\n\r\n", false},
      {"GET /api/ping HTTP/1.1\n\n", true},
      {"GET /api/ping HTTP/1.1\r\nHost: a\r\n", true},
      {"", true},
  };
  for (const auto& c : cases) {
    Client client(port);
    client.send(c.bytes);
    if (c.half_close) client.finish_sending();
    const Exchange got = client.read_all(5000ms);
    EXPECT_TRUE(got.closed) << c.bytes;
    EXPECT_EQ(got.received, "") << c.bytes;
  }
  expect_ping_answered();
}

TEST_F(Running, OverlongHeadIsDroppedAtTheLimit) {
  Client client(port);
  client.send("GET /api/ping HTTP/1.1\r\nX-Filler: ");
  client.send(std::string(1048576, 'a'));  // may fail part-way once the service gives up
  const Exchange got = client.read_all(5000ms);
  EXPECT_TRUE(got.closed);
  EXPECT_EQ(got.received, "");
  expect_ping_answered();
}

TEST_F(Running, HeadThatNeverEndsTimesOutWithoutBlockingOthers) {
  Client stalled(port);
  ASSERT_TRUE(stalled.send("GET /api/ping HTTP/1.1\r\nHost: a\r\n"));
  const auto start = std::chrono::steady_clock::now();
  expect_ping_answered();
  const Exchange got = stalled.read_all(40000ms);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(got.closed);
  EXPECT_EQ(got.received, "");
  EXPECT_GE(waited, 14s);  // the receive time-out is 15 s
}

// Only the one Content-Length field frames the body; a value that is not
// plain digits is answered at once with 400, before any body is sent.
TEST_F(Running, BodyLengthIsTheOneContentLengthField) {
  const std::string refused =
      expected::json("400 Bad Request", "{\"error\":\"invalid content-length\"}");
  const struct {
    const char* headers;
    int announced;  // -1: refused
  } cases[] = {
      {"Content-Length: 5\r\n", 5},
      {"content-length:5\r\n", 5},
      {"CONTENT-LENGTH:\t 5\r\n", 5},
      {"X-Content-Length: 3\r\nContent-Length: 5\r\n", 5},
      {"Host: a\r\n", 0},
      {"Content-Length: 5abc\r\n", -1},
      {"Content-Length: +5\r\n", -1},
  };
  for (const auto& c : cases) {
    Client client(port);
    client.send(std::string("POST /api/ping HTTP/1.1\r\n") + c.headers + "\r\n");
    if (c.announced > 0) {
      client.send(std::string(c.announced - 1, 'b'));
      EXPECT_FALSE(client.anything_within(300ms)) << c.headers << "answered before the body";
      client.send("b");
    }
    EXPECT_EQ(client.read_all().received, c.announced < 0 ? refused : kNotFound) << c.headers;
  }
  // A body cut short by the client is never handled.
  Client client(port);
  client.send("POST /api/ping HTTP/1.1\r\nContent-Length: 10\r\n\r\n0123");
  client.finish_sending();
  const Exchange got = client.read_all();
  EXPECT_TRUE(got.closed);
  EXPECT_EQ(got.received, "");
}

TEST_F(Running, ClientsThatLeaveEarlyOrCrowdInAreHarmless) {
  for (int i = 0; i < 20; ++i) {
    Client client(port);
    client.send("GET /api/ping HTTP/1.1\r\n\r\n");
  }  // closed abortively before reading
  std::vector<std::thread> clients;
  std::vector<std::string> answers(32);
  for (std::size_t i = 0; i < answers.size(); ++i) {
    clients.emplace_back(
        [&, i] { answers[i] = exchange(port, "GET /api/ping HTTP/1.1\r\n\r\n").received; });
  }
  for (auto& t : clients) t.join();
  for (const auto& answer : answers) EXPECT_EQ(answer, kPing);
}

TEST_F(Spine, HugeBodyThatCannotBeHeldEndsOnlyItsConnection) {
  // Measured natively with a capped address space; the same cap would starve
  // Wine itself, and the sanitizers reserve far more than it allows. A length
  // this large is now past the cap and refused before any of the body is
  // held; the unit tests fail the allocation itself for a body under the cap.
  if (under_wine() || sanitized()) GTEST_SKIP() << "runs on the plain native build";
  Service limited(install, StartOptions{.address_space_limit = std::size_t{768} << 20});
  const int limited_port = limited.wait_until_serving();
  ASSERT_NE(limited_port, 0);

  Client big(limited_port);
  ASSERT_TRUE(big.send("PUT /api/ping HTTP/1.1\r\nContent-Length: 600000000\r\n\r\n"));
  const std::string mebibyte(1 << 20, 'x');
  int sent = 0;
  while (sent < 600 && big.send(mebibyte)) ++sent;
  const Exchange got = big.read_all(10000ms);
  EXPECT_LT(sent, 600) << "the whole body fitted: the test proves nothing";
  EXPECT_TRUE(got.closed);
  EXPECT_EQ(got.received, "");

  EXPECT_EQ(exchange(limited_port, "GET /api/ping HTTP/1.1\r\n\r\n").received, kPing);
  EXPECT_TRUE(limited.running());
}

TEST_F(Spine, PortFileHoldsTheFiveDigitsOfTheFirstPort) {
  Service service(install);
  EXPECT_EQ(service.wait_until_serving(), 17632);
  EXPECT_EQ(read_file(install.app / "service_port.txt"), "17632");
  EXPECT_EQ(install.tree(), (std::vector<std::string>{binary_name(), "data", "service_port.txt"}));
}

TEST_F(Spine, SkipsPortsHeldByOtherPrograms) {
  PortHolder first(17632), second(17633);
  ASSERT_GE(first.fd, 0);
  ASSERT_GE(second.fd, 0);
  Service service(install);
  EXPECT_EQ(service.wait_until_serving(), 17634);
  EXPECT_EQ(read_file(install.app / "service_port.txt"), "17634");
}

TEST_F(Spine, AllPortsHeldEndsWithOneAndKeepsThePortFile) {
  std::vector<std::unique_ptr<PortHolder>> holders;
  for (int port = 17632; port <= 17641; ++port) {
    holders.push_back(std::make_unique<PortHolder>(port));
    ASSERT_GE(holders.back()->fd, 0) << port;
  }
  write_file(install.app / "service_port.txt", "17639");
  Service service(install);
  EXPECT_EQ(service.wait_for_exit(30s), 1);
  EXPECT_EQ(read_file(install.app / "service_port.txt"), "17639");
}

TEST_F(Spine, SecondStartEndsWithZeroAndTouchesNothing) {
  Service first(install);
  const int port = first.wait_until_serving();
  ASSERT_EQ(port, 17632);

  Install other;
  Service second(other);
  EXPECT_EQ(second.wait_for_exit(30s), 0);
  EXPECT_EQ(other.tree(), std::vector<std::string>{binary_name()});
  EXPECT_EQ(read_file(install.app / "service_port.txt"), "17632");
  EXPECT_EQ(exchange(port, "GET /api/ping HTTP/1.1\r\n\r\n").received, kPing);
  EXPECT_EQ(read_file(other.stderr_path()), "");
}

TEST_F(Spine, AFileNamedDataDoesNotStopTheService) {
  write_file(install.app / "data", "not a directory");
  Service service(install);
  const int port = service.wait_until_serving();
  ASSERT_NE(port, 0);
  EXPECT_EQ(exchange(port, "GET /api/ping HTTP/1.1\r\n\r\n").received, kPing);
  EXPECT_EQ(read_file(install.app / "data"), "not a directory");
}

}  // namespace
}  // namespace blackbox
