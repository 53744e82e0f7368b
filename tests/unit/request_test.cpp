#include "http/request.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>

#include "answers.h"
#include "fake_platform.h"
#include "http/connection.h"
#include "http/lookup.h"
#include "http/refusal.h"

namespace {

class ReadRequest : public ::testing::Test {
 protected:
  PlatformOverride fake;
  void SetUp() override { use_scripted_peer(fake.ops); }
};

TEST_F(ReadRequest, SplitsTheRequestLine) {
  const struct {
    const char* bytes;
    const char* method;
    const char* target;
    const char* path;
  } cases[] = {
      {"GET /api/ping HTTP/1.1\r\n\r\n", "GET", "/api/ping", "/api/ping"},
      {"GET /api/ping\r\n\r\n", "GET", "/api/ping", "/api/ping"},
      {"GET  /api/ping HTTP/1.1\r\n\r\n", "GET", "", ""},
      {"GET \r\n\r\n", "GET", "", ""},
      {"get /api/pin%67?x=1 HTTP/1.1\r\nHost: a\r\n\r\n", "get", "/api/pin%67?x=1", "/api/ping"},
      {"PUT /a+b%2Bc%2 HTTP/1.1\r\n\r\n", "PUT", "/a+b%2Bc%2", "/a b+c%2"},
      {"OPTIONS /x?y=%3F HTTP/1.1\r\n\r\n", "OPTIONS", "/x?y=%3F", "/x"},
      {"GET /a%3Fb HTTP/1.1\r\n\r\n", "GET", "/a%3Fb", "/a?b"},
      {"GET /x HTTP/1.1 trailing words\r\n\r\n", "GET", "/x", "/x"},
  };
  for (const auto& c : cases) {
    use_scripted_peer(fake.ops);
    peer().chunks = {c.bytes};
    const auto request = read_request(kFakeSocket).request;
    ASSERT_TRUE(request) << c.bytes;
    EXPECT_EQ(request->method, c.method) << c.bytes;
    EXPECT_EQ(request->target, c.target) << c.bytes;
    EXPECT_EQ(request->path, c.path) << c.bytes;
    EXPECT_EQ(request->body, "") << c.bytes;
  }
}

TEST_F(ReadRequest, KeepsTheHeadWithoutItsBlankLine) {
  peer().chunks = {"GET /x HTTP/1.1\r\nHost: a\r\nRange: bytes=0-\r\n\r\nextra"};
  const auto request = read_request(kFakeSocket).request;
  ASSERT_TRUE(request);
  EXPECT_EQ(request->head, "GET /x HTTP/1.1\r\nHost: a\r\nRange: bytes=0-");
  EXPECT_EQ(request->body, "");  // no Content-Length: what follows is dropped
}

TEST_F(ReadRequest, FindsTheEndOfTheHeadAcrossReceives) {
  peer().chunks = {"GET /x HTTP/1.1\r", "\n", "\r", "\nbody"};
  const auto request = read_request(kFakeSocket).request;
  ASSERT_TRUE(request);
  EXPECT_EQ(request->path, "/x");
  EXPECT_EQ(peer().next, 4u);  // nothing read past the head's last chunk
}

TEST_F(ReadRequest, ClosesWithoutARequest) {
  const struct {
    std::vector<std::string> chunks;
    long after;
  } cases[] = {
      {{"\r\n\r\n"}, 0},
      {{"\r\nGET /x HTTP/1.1\r\n\r\n"}, 0},
      {{"GARBAGE\r\n\r\n"}, 0},
      {{"GET /x HTTP/1.1\n\n"}, 0},   // LF LF never ends a head
      {{"GET /x HTTP/1.1\r\n"}, -1},  // receive time-out
      {{}, 0},                        // peer closed at once
  };
  for (const auto& c : cases) {
    use_scripted_peer(fake.ops);
    peer().chunks = c.chunks;
    peer().after_chunks = c.after;
    const RequestRead read = read_request(kFakeSocket);
    EXPECT_FALSE(read.request) << (c.chunks.empty() ? "" : c.chunks[0]);
    EXPECT_EQ(read.refusal, Refusal::none) << (c.chunks.empty() ? "" : c.chunks[0]);
  }
}

TEST_F(ReadRequest, HeadLimitIsOneMebibyte) {
  // Exactly at the limit the head is still read; a byte more and the
  // connection is dropped even though that very chunk ends the head.
  const std::string line = "GET /x HTTP/1.1\r\nX: ";
  const std::size_t limit = kHeadLimit;
  std::string at_limit = line + std::string(limit - line.size() - 4, 'a') + "\r\n\r\n";
  ASSERT_EQ(at_limit.size(), limit);
  peer().chunks = {at_limit};
  EXPECT_TRUE(read_request(kFakeSocket).request);

  use_scripted_peer(fake.ops);
  peer().chunks = {line + std::string(limit - line.size() - 3, 'a') + "\r\n\r\n"};
  EXPECT_FALSE(read_request(kFakeSocket).request);

  use_scripted_peer(fake.ops);
  peer().chunks = {std::string(limit + 1, 'a')};
  peer().after_chunks = -1;
  EXPECT_FALSE(read_request(kFakeSocket).request);
  EXPECT_EQ(peer().next, 1u);  // gave up at the limit, not at the time-out
}

TEST_F(ReadRequest, ReadsTheAnnouncedBody) {
  const struct {
    std::vector<std::string> chunks;
    const char* body;
  } cases[] = {
      {{"POST /d HTTP/1.1\r\nContent-Length: 10\r\n\r\n0123456789abcdefghijklmno"}, "0123456789"},
      {{"POST /d HTTP/1.1\r\nContent-Length: 10\r\n\r\n01", "234", "56789", "never read"},
       "0123456789"},
      {{"POST /d HTTP/1.1\r\nContent-Length: 0\r\n\r\n"}, ""},
      {{"POST /d HTTP/1.1\r\ncontent-length:3\r\n\r\n", "abcdef"}, "abc"},
      {{"POST /d HTTP/1.1\r\n\r\nabc"}, ""},
      {{"POST /d HTTP/1.1\r\nX-Content-Length: 2\r\nContent-Length: 5\r\n\r\nabcde"}, "abcde"},
      {{"POST /d?content-length:2 HTTP/1.1\r\nContent-Length: 5\r\n\r\nabcde"}, "abcde"},
      {{"POST /d HTTP/1.1\r\nX-Original-Content-Length: 4\r\n\r\nabcde"}, ""},
  };
  for (const auto& c : cases) {
    use_scripted_peer(fake.ops);
    peer().chunks = c.chunks;
    const auto request = read_request(kFakeSocket).request;
    ASSERT_TRUE(request) << c.chunks[0];
    EXPECT_EQ(request->body, c.body) << c.chunks[0];
    if (c.chunks.size() == 4) {
      EXPECT_EQ(peer().next, 3u);  // the bytes after the body were never read
    }
  }
}

// Any dispatch answers (an unknown route with 404), so an empty answer shows
// that nothing was dispatched.
TEST_F(ReadRequest, BodyCutShortIsNeverDispatched) {
  const std::string head = "PUT /x HTTP/1.1\r\nContent-Length: 10\r\n\r\n";
  const struct {
    std::vector<std::string> chunks;
    long after;
    std::vector<unsigned> gaps_ms;
    const char* why;
  } cases[] = {
      {{head + "0123"}, 0, {}, "peer closed after 4 of 10 bytes"},
      {{head}, 0, {}, "peer closed before the body"},
      {{head, "0123", "456"}, -1, {}, "receive failed after 7 bytes"},
      {{head + "0123", "456789"}, 0, {0, 15001}, "the rest came after the time-out"},
      {{head, "012345678"}, 0, {0, 14999}, "one byte short, each piece in time"},
  };
  for (const auto& c : cases) {
    use_scripted_peer(fake.ops);
    peer().chunks = c.chunks;
    peer().after_chunks = c.after;
    peer().gaps_ms = c.gaps_ms;
    handle_connection(kFakeSocket);
    EXPECT_EQ(peer().received, "") << c.why;
    EXPECT_EQ(peer().closes, 1) << c.why;
  }
  // The same request whole is answered, even with its pieces far apart.
  use_scripted_peer(fake.ops);
  peer().chunks = {head + "0123", "456789"};
  peer().gaps_ms = {0, 14999};
  handle_connection(kFakeSocket);
  EXPECT_EQ(peer().received.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u);
}

TEST_F(ReadRequest, ContentLengthOverTheCapIsRefusedBeforeTheBody) {
  for (const char* length : {"67108865", "1000000000", "99999999999999999999", "0067108865"}) {
    use_scripted_peer(fake.ops);
    peer().chunks = {"PUT /x HTTP/1.1\r\nContent-Length: " + std::string(length) + "\r\n\r\nab",
                     "cdef"};
    const RequestRead read = read_request(kFakeSocket);
    EXPECT_FALSE(read.request) << length;
    EXPECT_EQ(read.refusal, Refusal::none) << length;  // closed without an answer
    EXPECT_EQ(peer().next, 1u) << length;              // nothing received after the head
  }
}

// A head whose body cannot be told apart from what follows is refused as soon
// as it is read, before any of its body.
TEST_F(ReadRequest, RefusesAmbiguousFramingBeforeTheBody) {
  const struct {
    const char* fields;
    Refusal refusal;
  } cases[] = {
      {"Transfer-Encoding: chunked", Refusal::transfer_coding},
      {"Content-Length: 3\r\nTransfer-Encoding: chunked", Refusal::transfer_coding},
      {"Content-Length: -1", Refusal::bad_length},
      {"Content-Length: +3", Refusal::bad_length},
      {"Content-Length:  3x", Refusal::bad_length},
      {"Content-Length: 3\r\nContent-Length: 3", Refusal::bad_length},
  };
  for (const auto& c : cases) {
    use_scripted_peer(fake.ops);
    peer().chunks = {"PUT /api/data/doc2 HTTP/1.1\r\n" + std::string(c.fields) + "\r\n\r\nabc",
                     "more"};
    const RequestRead read = read_request(kFakeSocket);
    EXPECT_FALSE(read.request) << c.fields;
    EXPECT_EQ(read.refusal, c.refusal) << c.fields;
    EXPECT_EQ(peer().next, 1u) << c.fields;
  }
}

// The answer goes out, the sending side is ended, and what the peer still
// sends is read and dropped, so that the close does not reset the
// connection before the client has read the answer.
TEST_F(ReadRequest, RefusalIsAnsweredThenTheRestIsDrained) {
  const struct {
    const char* fields;
    std::string answer;
  } cases[] = {
      {"Transfer-Encoding: chunked",
       expected::json("501 Not Implemented", "{\"error\":\"transfer-encoding not supported\"}")},
      {"Content-Length: 3, 3",
       expected::json("400 Bad Request", "{\"error\":\"invalid content-length\"}")},
  };
  for (const auto& c : cases) {
    use_scripted_peer(fake.ops);
    peer().chunks = {"PUT /api/data/doc2 HTTP/1.1\r\n" + std::string(c.fields) + "\r\n\r\n3\r\n",
                     "abc\r\n", "0\r\n\r\n"};
    handle_connection(kFakeSocket);
    EXPECT_EQ(peer().received, c.answer) << c.fields;
    EXPECT_EQ(peer().shutdowns, 1) << c.fields;
    EXPECT_EQ(peer().sent_before_shutdown, c.answer.size()) << c.fields;
    EXPECT_EQ(peer().next, 3u) << c.fields;  // all of it read before the close
    EXPECT_EQ(peer().closes, 1) << c.fields;
  }
}

// A peer that keeps sending cannot hold the connection past the drain time.
TEST_F(ReadRequest, DrainEndsAtItsDeadline) {
  peer().chunks = {
      "PUT /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "a", "b", "c", "d", "e"};
  peer().gaps_ms = {0, 600, 600, 600, 600, 600};
  handle_connection(kFakeSocket);
  EXPECT_EQ(peer().received.rfind("HTTP/1.1 501 Not Implemented\r\n", 0), 0u);
  EXPECT_EQ(peer().next, 4u);  // three pieces in time, the fourth was due after it
  EXPECT_EQ(peer().clock_ms, kDrainMs);
  EXPECT_EQ(peer().closes, 1);
}

TEST_F(ReadRequest, ContentLengthAtTheCapIsRead) {
  const std::string body(static_cast<std::size_t>(kContentLengthCap), 'x');
  for (const char* length : {"67108864", "00067108864"}) {
    use_scripted_peer(fake.ops);
    peer().chunks = {"PUT /x HTTP/1.1\r\nContent-Length: " + std::string(length) + "\r\n\r\nx",
                     body.substr(1), "after"};
    const auto request = read_request(kFakeSocket).request;
    ASSERT_TRUE(request) << length;
    EXPECT_TRUE(request->body == body) << length << ": " << request->body.size() << " bytes";
    EXPECT_EQ(peer().next, 2u) << length;
  }
}

// Each byte of the head comes just within the receive time-out, so only a
// deadline for the head as a whole ends it.
TEST_F(ReadRequest, HeadDribbledPastTheDeadlineIsClosedAtIt) {
  for (const char c : std::string("GET /api/ping HTTP/1.1\r\n\r\n")) {
    peer().chunks.push_back(std::string(1, c));
    peer().gaps_ms.push_back(14000);
  }
  handle_connection(kFakeSocket);
  EXPECT_EQ(peer().received, "");
  EXPECT_EQ(peer().closes, 1);
  EXPECT_EQ(peer().next, 1u);          // the second byte was due after the deadline
  EXPECT_EQ(peer().clock_ms, 15000u);  // and the wait ended at the deadline
}

TEST_F(ReadRequest, HeadDeadlineCountsFromTheFirstReceive) {
  const struct {
    std::vector<unsigned> gaps_ms;
    bool read;
  } cases[] = {
      {{7500, 7500}, true},   // the last byte at the deadline itself
      {{7500, 7501}, false},  // a millisecond later
      {{0, 5000, 5000, 5000}, true},
      {{0, 5000, 5000, 5001}, false},
      {{15000}, true},  // the whole head after one full time-out
      {{15001}, false},
  };
  const std::string head = "GET /api/ping HTTP/1.1\r\n\r\n";
  for (const auto& c : cases) {
    use_scripted_peer(fake.ops);
    platform().set_timeouts(kFakeSocket, kSocketTimeoutMs);
    const std::size_t piece = head.size() / c.gaps_ms.size() + 1;
    for (std::size_t at = 0; at < head.size(); at += piece) {
      peer().chunks.push_back(head.substr(at, piece));
    }
    ASSERT_EQ(peer().chunks.size(), c.gaps_ms.size());
    peer().gaps_ms = c.gaps_ms;
    EXPECT_EQ(read_request(kFakeSocket).request.has_value(), c.read)
        << ::testing::PrintToString(c.gaps_ms);
  }
}

// After a slow head each receive of the body gets the whole time-out again.
TEST_F(ReadRequest, BodyKeepsTheTimeoutPerReceive) {
  peer().chunks = {"PUT /x HTTP/1.1\r\n", "Content-Length: 6\r\n\r\n", "abc", "def"};
  peer().gaps_ms = {1000, 14000, 14999, 14999};
  platform().set_timeouts(kFakeSocket, kSocketTimeoutMs);
  const auto request = read_request(kFakeSocket).request;
  ASSERT_TRUE(request);
  EXPECT_EQ(request->body, "abcdef");
  EXPECT_EQ(peer().receive_timeout_ms, kSocketTimeoutMs);
  EXPECT_EQ(peer().clock_ms, 44998u);
}

// A peer that announces a body larger than memory and keeps sending; the
// allocator is made to give up once the body has grown a little.
long g_endless_total = 0;

long endless_receive(Socket, char* buffer, int length) {
  const std::string head = "PUT /x HTTP/1.1\r\nContent-Length: 600000000\r\n\r\n";
  if (g_endless_total == 0) {
    g_endless_total = static_cast<long>(head.size());
    std::copy(head.begin(), head.end(), buffer);
    return g_endless_total;
  }
  g_endless_total += length;
  if (g_endless_total > (4L << 20)) throw std::bad_alloc();
  std::fill(buffer, buffer + length, 'x');
  return length;
}

TEST_F(ReadRequest, OutOfMemoryForTheBodyClosesTheConnectionOnly) {
  g_endless_total = 0;
  fake.ops.receive = endless_receive;
  handle_connection(kFakeSocket);
  EXPECT_EQ(peer().received, "");
  EXPECT_EQ(peer().closes, 1);
}

TEST_F(ReadRequest, ConnectionSetsTimeoutsAnswersOnceAndClosesOnce) {
  peer().chunks = {"GET /api/ping HTTP/1.1\r\n\r\n"};
  handle_connection(kFakeSocket);
  EXPECT_EQ(peer().timeout_ms, 15000u);
  EXPECT_EQ(peer().received.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(peer().closes, 1);

  use_scripted_peer(fake.ops);
  peer().chunks = {"\r\n\r\n"};
  handle_connection(kFakeSocket);
  EXPECT_EQ(peer().received, "");
  EXPECT_EQ(peer().closes, 1);
}

}  // namespace
