#include "http/response.h"

#include <gtest/gtest.h>

#include "answers.h"
#include "fake_platform.h"
#include "http/routes.h"

namespace {

using expected::kBlock;
using expected::kNotFound;
using expected::kPing;
using expected::kPreflight;

class Responses : public ::testing::Test {
 protected:
  PlatformOverride fake;
  void SetUp() override { use_scripted_peer(fake.ops); }

  std::string answer(const std::string& method, const std::string& path,
                     const std::string& body = "") {
    use_scripted_peer(fake.ops);
    HttpRequest request;
    request.method = method;
    request.target = path;
    request.path = path;
    request.body = body;
    dispatch_request(kFakeSocket, request);
    EXPECT_EQ(peer().closes, 0);  // the dispatcher never closes
    return peer().received;
  }
};

TEST_F(Responses, RoutesToPreflightPingOrFallback) {
  const struct {
    const char* method;
    const char* path;
    const std::string& answer;
  } cases[] = {
      {"OPTIONS", "/api/ping", kPreflight}, {"OPTIONS", "/no/such/route", kPreflight},
      {"OPTIONS", "", kPreflight},          {"GET", "/api/ping", kPing},
      {"GET", "/api/ping/", kNotFound},     {"GET", "/API/PING", kNotFound},
      {"GET", "//api/ping", kNotFound},     {"get", "/api/ping", kNotFound},
      {"options", "/api/ping", kNotFound},  {"POST", "/api/ping", kNotFound},
      {"DELETE", "/api/ping", kNotFound},   {"HEAD", "/api/ping", kNotFound},
      {"GET", "/api/data/", kNotFound},     {"GET", "", kNotFound},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(answer(c.method, c.path), c.answer) << c.method << " " << c.path;
  }
  EXPECT_EQ(answer("OPTIONS", "/x", "ignored body"), kPreflight);
}

TEST_F(Responses, ContentLengthCountsBytes) {
  send_response(kFakeSocket, 500, "Internal Server Error", kJsonType,
                "{\"e\":\"\xc3\xa9\xe2\x82\xac\"}");
  EXPECT_EQ(peer().received,
            "HTTP/1.1 500 Internal Server Error\r\nContent-Type: application/json; "
            "charset=utf-8\r\nContent-Length: 13\r\n" +
                kBlock + "\r\n{\"e\":\"\xc3\xa9\xe2\x82\xac\"}");
}

TEST_F(Responses, HeadAndBodyGoOutInOneGatherSend) {
  send_response(kFakeSocket, 200, "OK", kJsonType, "{}");
  EXPECT_EQ(peer().send_calls, 1);
  EXPECT_EQ(peer().gathered_sends, 1);
  EXPECT_EQ(peer().received.substr(peer().received.size() - 6), "\r\n\r\n{}");
}

// A short gather send goes on from where it stopped, in the head or in the
// body.
TEST_F(Responses, ShortSendsAreContinued) {
  for (const long limit : {7L, static_cast<long>(kNotFound.size()) - 4}) {
    use_scripted_peer(fake.ops);
    peer().send_limit = limit;
    send_not_found(kFakeSocket);
    EXPECT_EQ(peer().received, kNotFound) << limit;
  }
}

TEST_F(Responses, SendingStopsAtTheFirstFailure) {
  // A failing head is not followed by its body: a peer that timed out once
  // would only make the thread wait out the time-out again.
  peer().failing_send = 1;
  send_response(kFakeSocket, 200, "OK", kJsonType, "{}");
  EXPECT_EQ(peer().send_calls, 1);

  use_scripted_peer(fake.ops);
  peer().send_limit = 100;
  peer().failing_send = 3;
  const std::string data(1000, 'z');
  EXPECT_FALSE(send_all(kFakeSocket, data.data(), static_cast<long>(data.size())));
  EXPECT_EQ(peer().send_calls, 3);
  EXPECT_EQ(peer().received.size(), 200u);

  use_scripted_peer(fake.ops);
  EXPECT_TRUE(send_all(kFakeSocket, data.data(), 0));
  EXPECT_EQ(peer().send_calls, 0);
}

}  // namespace
