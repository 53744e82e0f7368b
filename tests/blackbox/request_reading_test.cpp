// Requests that end short, announce too much or arrive too slowly, seen from
// outside: each is answered whole or closed without a word, and a document
// changes only through a whole request.
#include <gtest/gtest.h>

#include <optional>
#include <string>
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

// How the client ends its side once its bytes are sent.
enum class Ending {
  wait,        // reads the answer
  half_close,  // stops sending, so the service sees the end of input
  reset,       // drops the connection abortively
  silence,     // falls silent with the connection open
  dribble,     // sends one more byte every 4 s, never ending the head
};

struct Case {
  const char* what;
  std::string name;  // of the document the request writes
  std::string bytes;
  Ending ending;
  std::optional<std::string> answer;  // nothing: closed without an answer
  std::string stored;                 // the document afterwards
};

struct Outcome {
  Exchange got;
  Clock::duration took{};  // from the last byte sent (the first, dribbling) to the close
};

constexpr auto kHeadDeadline = 15s;
const std::string kOld = "{\"v\":0}";

std::string put(const std::string& name, const std::string& length, const std::string& body) {
  return "PUT /api/data/" + name + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + length +
         "\r\n\r\n" + body;
}

Outcome run(int port, const Case& c) {
  Outcome outcome;
  Client client(port);
  if (!client.connected()) return outcome;
  client.send(c.bytes);
  auto from = Clock::now();
  switch (c.ending) {
    case Ending::wait:
      outcome.got = client.read_all(60s);
      break;
    case Ending::half_close:
      client.finish_sending();
      outcome.got = client.read_all(20s);
      break;
    case Ending::reset:
      return outcome;  // the client is gone: nothing to read
    case Ending::silence:
      outcome.got = client.read_all(kHeadDeadline + 10s);
      break;
    case Ending::dribble:
      while (Clock::now() - from < kHeadDeadline + 10s && !client.anything_within(4000ms)) {
        client.send("a");
      }
      outcome.got = client.read_all(1s);
      break;
  }
  outcome.took = Clock::now() - from;
  return outcome;
}

long long seconds(Clock::duration d) {
  return std::chrono::duration_cast<std::chrono::seconds>(d).count();
}

using RequestReading = RunningService;

TEST_F(RequestReading, OnlyWholeRequestsAreHandled) {
  const std::string at_cap(67108864, 'x');
  const std::vector<Case> cases = {
      {"whole body", "whole", put("whole", "10", "0123456789"), Ending::wait, expected::kOk,
       "0123456789"},
      {"short body, then the end of input", "short", put("short", "100", "0123456789"),
       Ending::half_close, std::nullopt, kOld},
      {"short body, then silence", "silent", put("silent", "100", "0123456789"), Ending::silence,
       std::nullopt, kOld},
      {"body cut by the client's close", "cut", put("cut", "100", "0123456789"), Ending::reset,
       std::nullopt, kOld},
      {"Content-Length one over the cap", "over", put("over", "67108865", "0123456789"),
       Ending::wait, std::nullopt, kOld},
      {"Content-Length far over the cap", "far", put("far", "1000000000", "0123456789"),
       Ending::wait, std::nullopt, kOld},
      {"Content-Length at the cap", "cap", put("cap", "67108864", at_cap), Ending::wait,
       expected::kOk, at_cap},
      {"head dribbled past its deadline", "dribble",
       "PUT /api/data/dribble HTTP/1.1\r\nContent-Length: 2\r\nX-Slow: ", Ending::dribble,
       std::nullopt, kOld},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(blackbox::exchange(port, put(c.name, std::to_string(kOld.size()), kOld)).received,
              expected::kOk)
        << c.what;
  }

  // All at once: two of them take a full time-out each.
  std::vector<Outcome> outcomes(cases.size());
  std::vector<std::thread> runners;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    runners.emplace_back([&, i] { outcomes[i] = run(port, cases[i]); });
  }
  for (std::thread& runner : runners) runner.join();

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const Outcome& o = outcomes[i];
    if (c.ending != Ending::reset) {
      EXPECT_TRUE(o.got.closed) << c.what;
      EXPECT_TRUE(o.got.received == c.answer.value_or(""))
          << c.what << ": got " << o.got.received.size()
          << " bytes: " << o.got.received.substr(0, 200);
    }
    if (c.ending == Ending::silence || c.ending == Ending::dribble) {
      // Not before the time-out, and not long after it.
      EXPECT_GE(o.took, kHeadDeadline - 1s) << c.what << ": " << seconds(o.took) << " s";
      EXPECT_LT(o.took, kHeadDeadline + 10s) << c.what << ": " << seconds(o.took) << " s";
    }
    const Exchange document =
        blackbox::exchange(port, "GET /api/data/" + c.name + " HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(document.received == expected::json("200 OK", c.stored))
        << c.what << ": stored " << body_of(document.received).size()
        << " bytes: " << body_of(document.received).substr(0, 200);
  }
  expect_ping_answered();
}

// A body that could be read more than one way is never guessed at: the
// request is refused with a JSON error and the document keeps what it held,
// or the one real Content-Length frames it whole. Each starts from the
// same document, re-sent by the well-framed cases.
TEST_F(RequestReading, FramingIsReadOneWayOnly) {
  const std::string kept = "{\"a\":1,\"keep\":\"me\"}";
  const std::string other = "{\"b\":2}";
  const std::string length = "Content-Length: " + std::to_string(kept.size()) + "\r\n";
  const std::string chunked = "7\r\n" + other + "\r\n0\r\n\r\n";
  const std::string bad_length =
      expected::json("400 Bad Request", "{\"error\":\"invalid content-length\"}");
  const std::string not_implemented =
      expected::json("501 Not Implemented", "{\"error\":\"transfer-encoding not supported\"}");
  const auto head = [](const std::string& target, const std::string& fields) {
    return "PUT " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + fields + "\r\n";
  };
  // A chunked upload that goes on after the answer, as a streaming client's
  // would: the answer must still arrive whole.
  std::string long_upload;
  for (int i = 0; i < 4096; ++i) long_upload += "400\r\n" + std::string(1024, 'x') + "\r\n";
  long_upload += "0\r\n\r\n";
  const struct {
    const char* what;
    std::string request;
    std::string answer;
  } cases[] = {
      {"a length named in the target", head("/api/data/doc2?x=content-length:3", length) + kept,
       expected::kOk},
      {"a length in the tail of another name",
       head("/api/data/doc2", "X-Original-Content-Length: 4\r\n" + length) + kept, expected::kOk},
      {"a length in another field's value",
       head("/api/data/doc2", "X-Note: content-length: 3\r\n" + length) + kept, expected::kOk},
      {"Content-Length: -1", head("/api/data/doc2", "Content-Length: -1\r\n") + other, bad_length},
      {"Content-Length: +3", head("/api/data/doc2", "Content-Length: +3\r\n") + other, bad_length},
      {"Content-Length:  3x", head("/api/data/doc2", "Content-Length:  3x\r\n") + other,
       bad_length},
      {"Content-Length: 7, 7", head("/api/data/doc2", "Content-Length: 7, 7\r\n") + other,
       bad_length},
      {"an empty Content-Length", head("/api/data/doc2", "Content-Length:\r\n") + other,
       bad_length},
      {"a blank before the colon", head("/api/data/doc2", "Content-Length : 7\r\n") + other,
       bad_length},
      {"a folded Content-Length", head("/api/data/doc2", "Content-Length: 3\r\n 4\r\n") + other,
       bad_length},
      {"two equal Content-Lengths",
       head("/api/data/doc2", "Content-Length: 7\r\nContent-Length: 7\r\n") + other, bad_length},
      {"two different Content-Lengths",
       head("/api/data/doc2", "Content-Length: 3\r\ncontent-length: 7\r\n") + other, bad_length},
      {"a chunked upload", head("/api/data/doc2", "Transfer-Encoding: chunked\r\n") + chunked,
       not_implemented},
      {"chunked with a Content-Length too",
       head("/api/data/doc2", "Content-Length: 7\r\nTransfer-Encoding: chunked\r\n") + chunked,
       not_implemented},
      {"a transfer coding in capitals, no body",
       head("/api/data/doc2", "TRANSFER-ENCODING: gzip\r\n"), not_implemented},
      {"a long chunked upload still on its way",
       head("/api/data/doc2", "Transfer-Encoding: chunked\r\n") + long_upload, not_implemented},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(blackbox::exchange(port, head("/api/data/doc2", length) + kept).received,
              expected::kOk)
        << c.what;
    const Exchange got = blackbox::exchange(port, c.request);
    EXPECT_TRUE(got.closed) << c.what;
    EXPECT_EQ(got.received, c.answer) << c.what;
    EXPECT_EQ(blackbox::exchange(port, "GET /api/data/doc2 HTTP/1.1\r\n\r\n").received,
              expected::json("200 OK", kept))
        << c.what;
  }
  // A well-framed write of another document is stored whole.
  const std::string target_named = head("/api/data/doc2?x=content-length:3",
                                        "X-Original-Content-Length: 4\r\nContent-Length: 7\r\n");
  EXPECT_EQ(blackbox::exchange(port, target_named + other).received, expected::kOk);
  EXPECT_EQ(blackbox::exchange(port, "GET /api/data/doc2 HTTP/1.1\r\n\r\n").received,
            expected::json("200 OK", other));
  expect_ping_answered();
}

}  // namespace
}  // namespace blackbox
