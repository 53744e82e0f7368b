#include "update/fetch.h"

#include <gtest/gtest.h>

#include "fake_update.h"
#include "update/release_location.h"

namespace {

const Utf8String kUrl = "https://example.org/a/release.bin";

Utf8String via_proxy(int i, const Utf8String& url) { return kProxyPrefixes[i] + url; }

std::vector<Utf8String> all_four(const Utf8String& url) {
  return {via_proxy(0, url), via_proxy(1, url), via_proxy(2, url), url};
}

class Fetch : public ::testing::Test {
 protected:
  UpdateOverride update;
  FakeUpdate& fake = fake_update();
  Utf8String out = "stale";
};

TEST_F(Fetch, OnlyTwoHundredsWithABodySucceed) {
  const struct {
    long status;
    const char* body;
    bool ok;
  } cases[] = {
      {200, "x", true},   {204, "body", true}, {299, "x", true},  {200, "", false},
      {199, "x", false},  {300, "x", false},   {304, "x", false}, {404, "x", false},
      {500, "x", false},  {302, "x", false},  // a redirect that names no place
  };
  for (const auto& c : cases) {
    fake.responses[kUrl] = ok_body(c.body);
    fake.responses[kUrl].status = c.status;
    out = "stale";
    EXPECT_EQ(http_get(u"https://example.org/a/release.bin", out, 5), c.ok) << c.status;
    EXPECT_EQ(out, c.ok ? c.body : "") << c.status;
  }
}

TEST_F(Fetch, TriesTheProxiesInOrderThenTheUrlItself) {
  EXPECT_FALSE(fetch_with_mirrors(kUrl, out, 1234));
  EXPECT_EQ(out, "");
  EXPECT_EQ(fake.requested, all_four(kUrl));
  EXPECT_EQ(fake.timeouts, (std::vector<std::uint32_t>(4, 1234)));
}

TEST_F(Fetch, StopsAtTheFirstAnswerEvenAnUnexpectedOne) {
  fake.responses[via_proxy(0, kUrl)] = ok_body("<html>proxy error page</html>");
  fake.responses[kUrl] = ok_body("real");
  EXPECT_TRUE(fetch_with_mirrors(kUrl, out, 1));
  EXPECT_EQ(out, "<html>proxy error page</html>");
  EXPECT_EQ(fake.requested, std::vector<Utf8String>{via_proxy(0, kUrl)});
}

TEST_F(Fetch, FailingProxiesLeaveTheDirectBody) {
  fake.responses[via_proxy(0, kUrl)] = ok_body("not found");
  fake.responses[via_proxy(0, kUrl)].status = 404;
  fake.responses[via_proxy(1, kUrl)] = ok_body("");  // an empty 200
  fake.responses[via_proxy(2, kUrl)] = ok_body("half");
  fake.responses[via_proxy(2, kUrl)].outcome = HttpOutcome::broken;
  fake.responses[kUrl] = ok_body("direct");
  EXPECT_TRUE(fetch_with_mirrors(kUrl, out, 1));
  EXPECT_EQ(out, "direct");
  EXPECT_EQ(fake.requested, all_four(kUrl));
}

TEST_F(Fetch, BodyCutShortFailsTheAttempt) {
  fake.responses[kUrl] = ok_body("the first half of an executable");
  fake.responses[kUrl].outcome = HttpOutcome::broken;
  EXPECT_FALSE(http_get(u"https://example.org/a/release.bin", out, 1));
  EXPECT_EQ(out, "");
}

TEST_F(Fetch, BodyLimitIsSixtyFourMebibytes) {
  const Utf8String mebibyte(1 << 20, 'm');
  FakeResponse at_limit;
  at_limit.chunks.assign(64, mebibyte);
  FakeResponse over = at_limit;
  over.chunks.push_back("!");

  fake.responses[kUrl] = at_limit;
  EXPECT_TRUE(fetch_with_mirrors(kUrl, out, 1));
  EXPECT_EQ(out.size(), kBodyLimit);

  // One byte over: the bytes read so far are dropped and the next entry is tried.
  fake.requested.clear();
  fake.responses.clear();
  fake.responses[via_proxy(0, kUrl)] = over;
  fake.responses[via_proxy(1, kUrl)] = ok_body("small");
  EXPECT_TRUE(fetch_with_mirrors(kUrl, out, 1));
  EXPECT_EQ(out, "small");
  EXPECT_EQ(fake.bodies_refused, 1);
  EXPECT_EQ(fake.requested.size(), 2u);

  fake.responses.clear();
  fake.responses[kUrl] = over;
  EXPECT_FALSE(http_get(u"https://example.org/a/release.bin", out, 1));
  EXPECT_EQ(out, "");
}

TEST_F(Fetch, ManifestAndReleaseFileUseTheirOwnTimeouts) {
  fake.responses[kManifestUrl] = ok_body("{}");
  EXPECT_TRUE(fetch_manifest(out));
  EXPECT_EQ(fake.timeouts, (std::vector<std::uint32_t>(4, 6000)));
  EXPECT_EQ(fake.requested.back(), kManifestUrl);

  fake.timeouts.clear();
  EXPECT_FALSE(fetch_release_file(kUrl, out));
  EXPECT_EQ(fake.timeouts, (std::vector<std::uint32_t>(4, 60000)));
}

TEST_F(Fetch, FollowsRedirectsButNeverDownToPlainHttp) {
  FakeResponse moved;
  moved.status = 302;
  moved.location = "/b/release.bin?x=1";
  fake.responses[kUrl] = moved;
  fake.responses["https://example.org/b/release.bin?x=1"] = ok_body("moved here");
  EXPECT_TRUE(http_get(u"https://example.org/a/release.bin", out, 1));
  EXPECT_EQ(out, "moved here");
  EXPECT_EQ(fake.requested.back(), "https://example.org/b/release.bin?x=1");

  // Only the final status counts.
  fake.responses["https://example.org/b/release.bin?x=1"].status = 404;
  EXPECT_FALSE(http_get(u"https://example.org/a/release.bin", out, 1));

  fake.requested.clear();
  fake.responses[kUrl].location = "http://example.org/evil.bin";
  fake.responses["http://example.org/evil.bin"] = ok_body("evil");
  EXPECT_FALSE(http_get(u"https://example.org/a/release.bin", out, 1));
  EXPECT_EQ(out, "");
  EXPECT_EQ(fake.requested, std::vector<Utf8String>{kUrl});

  // Plain http may move up to https, and on within http.
  FakeResponse up;
  up.status = 301;
  up.location = "https://example.org/a/release.bin";
  fake.responses["http://example.org/start"] = up;
  fake.responses[kUrl] = ok_body("secure");
  EXPECT_TRUE(http_get(u"http://example.org/start", out, 1));
  EXPECT_EQ(out, "secure");
}

TEST_F(Fetch, GivesUpAfterTenRedirects) {
  for (int hops : {10, 11}) {
    fake.responses.clear();
    for (int i = 0; i < hops; ++i) {
      FakeResponse r;
      r.status = 307;
      r.location = "/" + std::to_string(i + 1);
      fake.responses["http://h/" + std::to_string(i)] = r;
    }
    fake.responses["http://h/" + std::to_string(hops)] = ok_body("end");
    EXPECT_EQ(http_get(u"http://h/0", out, 1), hops == 10) << hops;
  }
}

TEST_F(Fetch, ARefusedBodyCountsAsNoAnswerFromThatSource) {
  const BodyCheck wants_real = [](const Utf8String& body) { return body == "real"; };
  fake.responses[via_proxy(0, kUrl)] = ok_body("forged");
  fake.responses[via_proxy(2, kUrl)] = ok_body("real");
  fake.responses[kUrl] = ok_body("real too");
  EXPECT_EQ(fetch_with_mirrors(kUrl, out, 7, wants_real), MirrorFetch::fetched);
  EXPECT_EQ(out, "real");
  EXPECT_EQ(fake.requested,
            (std::vector<Utf8String>{via_proxy(0, kUrl), via_proxy(1, kUrl), via_proxy(2, kUrl)}));

  // Refused everywhere it answered, versus no answer at all.
  fake.responses.erase(via_proxy(2, kUrl));
  fake.responses.erase(kUrl);
  fake.requested.clear();
  out = "stale";
  EXPECT_EQ(fetch_with_mirrors(kUrl, out, 7, wants_real), MirrorFetch::refused);
  EXPECT_EQ(out, "");
  EXPECT_EQ(fake.requested, all_four(kUrl));
  fake.responses.clear();
  EXPECT_EQ(fetch_with_mirrors(kUrl, out, 7, wants_real), MirrorFetch::unreachable);
  EXPECT_EQ(out, "");
}

}  // namespace
