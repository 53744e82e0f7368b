// The zero-copy media send of the Linux binding, over a real loopback
// connection.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "service/binding.h"
#include "temp_dir.h"

namespace {

struct Connection {
  int server = -1;  // the service's end
  int client = -1;

  Connection() {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    socklen_t size = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        listen(listener, 1) == 0 &&
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      // Small buffers, so that a peer that stops reading is felt at once.
      const int small = 4096;
      client = socket(AF_INET, SOCK_STREAM, 0);
      setsockopt(client, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
      if (connect(client, reinterpret_cast<sockaddr*>(&address), size) == 0) {
        server = accept(listener, nullptr, nullptr);
        setsockopt(server, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
      }
    }
    close(listener);
  }
  ~Connection() {
    if (server >= 0) close(server);
    if (client >= 0) close(client);
  }

  std::string read_all() {
    std::string got;
    char buffer[65536];
    for (ssize_t n; (n = recv(client, buffer, sizeof buffer, 0)) > 0;) got.append(buffer, n);
    return got;
  }
};

std::string pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131) >> 3);
  return bytes;
}

class SendFile : public ::testing::Test {
 protected:
  TempDir dir;
  std::string content = pattern(3 << 20);
  FileHandle file = kNoFile;

  void SetUp() override {
    write_file(dir.path / "media.bin", content);
    file = native::open_for_read(dir.wide("media.bin"), DeleteSharing::refused);
    ASSERT_NE(file, kNoFile);
  }
  void TearDown() override { native::close_file(file); }
};

TEST_F(SendFile, HeadThenTheRangeByteForByteAndTheSocketBlockingAgain) {
  ASSERT_NE(native::send_file, nullptr);
  const struct {
    std::uint64_t offset, length;
  } ranges[] = {{0, 3 << 20}, {1000, 65536}, {(3 << 20) - 1, 1}, {5, 0}};
  for (const auto& range : ranges) {
    Connection c;
    ASSERT_GE(c.server, 0);
    native::set_timeouts(static_cast<Socket>(c.server), 15000);
    std::string got;
    std::thread reader([&] { got = c.read_all(); });
    const std::string head = "HEAD\r\n\r\n";
    EXPECT_TRUE(native::send_file(static_cast<Socket>(c.server), head.data(), head.size(), file,
                                  range.offset, range.length));
    EXPECT_EQ(fcntl(c.server, F_GETFL) & O_NONBLOCK, 0) << range.offset;
    shutdown(c.server, SHUT_WR);
    reader.join();
    EXPECT_EQ(got, head + content.substr(range.offset, range.length)) << range.offset;
  }
}

// A peer that stops reading ends the transfer once one wait has lasted the
// send time-out, not one time-out per piece moved.
TEST_F(SendFile, PeerThatStopsReadingEndsTheTransferAfterTheSendTimeOut) {
  Connection c;
  ASSERT_GE(c.server, 0);
  native::set_timeouts(static_cast<Socket>(c.server), 300);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(native::send_file(static_cast<Socket>(c.server), "H", 1, file, 0, content.size()));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

TEST_F(SendFile, FileShorterThanAskedIsAFailure) {
  Connection c;
  ASSERT_GE(c.server, 0);
  native::set_timeouts(static_cast<Socket>(c.server), 15000);
  std::thread reader([&] { c.read_all(); });
  EXPECT_FALSE(
      native::send_file(static_cast<Socket>(c.server), "H", 1, file, content.size() - 10, 20));
  shutdown(c.server, SHUT_WR);
  reader.join();
}

}  // namespace
