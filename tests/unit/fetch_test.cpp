#include "update/fetch.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "fake_update.h"
#include "update/release_location.h"

namespace {

const Utf8String kUrl = "https://example.org/a/release.bin";

// The release file's limits with `per_wait` ms per wait.
FetchLimits waits(std::uint32_t per_wait) {
  FetchLimits limits = kReleaseLimits;
  limits.per_wait_ms = per_wait;
  return limits;
}

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
      {200, "x", true},  {204, "body", true}, {299, "x", true},  {200, "", false},
      {199, "x", false}, {300, "x", false},   {304, "x", false}, {404, "x", false},
      {500, "x", false}, {302, "x", false},  // a redirect that names no place
  };
  for (const auto& c : cases) {
    fake.responses[kUrl] = ok_body(c.body);
    fake.responses[kUrl].status = c.status;
    out = "stale";
    EXPECT_EQ(http_get(u"https://example.org/a/release.bin", out, waits(5)), c.ok) << c.status;
    EXPECT_EQ(out, c.ok ? c.body : "") << c.status;
  }
}

TEST_F(Fetch, TriesTheProxiesInOrderThenTheUrlItself) {
  EXPECT_FALSE(fetch_with_mirrors(kUrl, out, waits(1234)));
  EXPECT_EQ(out, "");
  EXPECT_EQ(fake.requested, all_four(kUrl));
  EXPECT_EQ(fake.timeouts, (std::vector<std::uint32_t>(4, 1234)));
}

TEST_F(Fetch, StopsAtTheFirstAnswerEvenAnUnexpectedOne) {
  fake.responses[via_proxy(0, kUrl)] = ok_body("<html>proxy error page</html>");
  fake.responses[kUrl] = ok_body("real");
  EXPECT_TRUE(fetch_with_mirrors(kUrl, out, waits(1)));
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
  EXPECT_TRUE(fetch_with_mirrors(kUrl, out, waits(1)));
  EXPECT_EQ(out, "direct");
  EXPECT_EQ(fake.requested, all_four(kUrl));
}

TEST_F(Fetch, BodyCutShortFailsTheAttempt) {
  fake.responses[kUrl] = ok_body("the first half of an executable");
  fake.responses[kUrl].outcome = HttpOutcome::broken;
  EXPECT_FALSE(http_get(u"https://example.org/a/release.bin", out, waits(1)));
  EXPECT_EQ(out, "");
}

TEST_F(Fetch, BodyLimitIsSixtyFourMebibytes) {
  const Utf8String mebibyte(1 << 20, 'm');
  FakeResponse at_limit;
  at_limit.chunks.assign(64, mebibyte);
  FakeResponse over = at_limit;
  over.chunks.push_back("!");

  fake.responses[kUrl] = at_limit;
  EXPECT_TRUE(fetch_with_mirrors(kUrl, out, waits(1)));
  EXPECT_EQ(out.size(), kReleaseLimits.body_limit);

  // One byte over: the bytes read so far are dropped and the next entry is tried.
  fake.requested.clear();
  fake.responses.clear();
  fake.responses[via_proxy(0, kUrl)] = over;
  fake.responses[via_proxy(1, kUrl)] = ok_body("small");
  EXPECT_TRUE(fetch_with_mirrors(kUrl, out, waits(1)));
  EXPECT_EQ(out, "small");
  EXPECT_EQ(fake.bodies_refused, 1);
  EXPECT_EQ(fake.requested.size(), 2u);

  fake.responses.clear();
  fake.responses[kUrl] = over;
  EXPECT_FALSE(http_get(u"https://example.org/a/release.bin", out, waits(1)));
  EXPECT_EQ(out, "");
}

TEST_F(Fetch, ManifestAndReleaseFileUseTheirOwnTimeouts) {
  fake.responses[kManifestUrl] = ok_body("{}");
  const std::vector<Utf8String> bodies = fetch_manifests();
  EXPECT_EQ(bodies, (std::vector<Utf8String>{"", "", "", "{}"}));
  EXPECT_EQ(fake.timeouts, (std::vector<std::uint32_t>(4, 6000)));
  EXPECT_EQ(fake.requested, all_four(kManifestUrl));

  fake.timeouts.clear();
  const BodyCheck any = [](const Utf8String&) { return true; };
  EXPECT_EQ(fetch_release_file(kUrl, out, any), MirrorFetch::unreachable);
  EXPECT_EQ(fake.timeouts, (std::vector<std::uint32_t>(4, 60000)));
}

// Every source is asked for the manifest, even once one has answered, so
// that the first cannot decide alone.
TEST_F(Fetch, EverySourceIsAskedForTheManifest) {
  fake.responses[via_proxy(0, kManifestUrl)] = ok_body("old");
  fake.responses[via_proxy(2, kManifestUrl)] = ok_body("new");
  fake.responses[kManifestUrl] = ok_body("newest");
  fake.responses[kManifestUrl].outcome = HttpOutcome::broken;
  EXPECT_EQ(fetch_manifests(), (std::vector<Utf8String>{"old", "", "new", ""}));
  EXPECT_EQ(fake.requested, all_four(kManifestUrl));
}

TEST_F(Fetch, AManifestIsCappedAtSixtyFourKibibytes) {
  const struct {
    const char* what;
    std::size_t size;
    long long announced;
    bool taken;
  } cases[] = {
      {"at the cap", 65536, 65536, true},
      {"at the cap, length not announced", 65536, -1, true},
      {"one byte over, not announced", 65537, -1, false},
      {"one byte over, announced", 65537, 65537, false},
  };
  for (const auto& c : cases) {
    fake.responses.clear();
    fake.bodies_refused = 0;
    FakeResponse big = ok_body(Utf8String(c.size, ' '));
    big.announced = c.announced;
    fake.responses[kUrl] = big;
    EXPECT_EQ(http_get(u"https://example.org/a/release.bin", out, kManifestLimits), c.taken)
        << c.what;
    EXPECT_EQ(out.size(), c.taken ? c.size : 0u) << c.what;
    // An announced length over the cap is refused before any byte is read.
    if (c.announced > 65536) {
      EXPECT_EQ(fake.bodies_refused, 0) << c.what;
    }
  }
}

TEST(AttemptDeadline, GrowsWithTheAnnouncedSizeAndStaysBounded) {
  const struct {
    const FetchLimits& limits;
    long long announced;
    std::uint64_t deadline_ms;
  } cases[] = {
      {kManifestLimits, -1, 30000},
      {kManifestLimits, 65536, 30000},
      {kManifestLimits, 1LL << 40, 30000},
      {kReleaseLimits, -1, 60000},
      {kReleaseLimits, 0, 60000},
      {kReleaseLimits, 1 << 20, 76000},
      {kReleaseLimits, 64LL << 20, 60000 + 64 * 16000},
      {kReleaseLimits, 1LL << 40, 1200000},
      {kReleaseLimits, 0x7fffffffffffffffLL, 1200000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(attempt_deadline_ms(c.limits, c.announced), c.deadline_ms) << c.announced;
  }
}

// The stall this guards against: a proxy that announces a large body and
// sends one byte every half second would hold the update thread for days.
class FetchOnTheClock : public Fetch {
 protected:
  PlatformOverride platform_fake;
  void SetUp() override { platform_fake.ops.monotonic_ms = fake_clock_ms; }
};

TEST_F(FetchOnTheClock, ATricklingSourceIsLeftAtItsDeadlineAndTheNextIsAsked) {
  // Under the manifest's cap (a larger announcement is refused at once), one
  // byte every half second: more than eight hours.
  FakeResponse trickle;
  trickle.announced = 60000;
  trickle.chunks.assign(60000, "x");
  trickle.gap_ms = 500;
  fake.responses[via_proxy(0, kManifestUrl)] = trickle;
  fake.responses[via_proxy(1, kManifestUrl)] = ok_body("{}");
  const std::uint64_t start = fake.clock_ms;
  const std::vector<Utf8String> bodies = fetch_manifests();
  EXPECT_EQ(bodies, (std::vector<Utf8String>{"", "{}", "", ""}));
  EXPECT_EQ(fake.deadlines.front(), start + 30000);
  // The trickle ended as its deadline passed: nothing was spent after it.
  EXPECT_EQ(fake.clock_ms, start + 30000);
}

TEST_F(FetchOnTheClock, TheReleaseFileEarnsTimeForWhatItAnnounces) {
  FakeResponse slow;
  slow.announced = 4 << 20;  // 4 MiB: 60 s + 4 * 16 s
  slow.chunks.assign(200, Utf8String(1 << 15, 'x'));
  slow.gap_ms = 1000;  // 32 KiB/s, half the floor: 200 s needed
  fake.responses[kUrl] = slow;
  const std::uint64_t start = fake.clock_ms;
  EXPECT_FALSE(http_get(u"https://example.org/a/release.bin", out, kReleaseLimits));
  EXPECT_EQ(fake.deadlines, std::vector<std::uint64_t>{start + 124000});
  EXPECT_EQ(fake.clock_ms, start + 124000);

  // At 64 KiB/s the same size comes in time.
  fake.deadlines.clear();
  fake.responses[kUrl].chunks.assign(64, Utf8String(1 << 16, 'x'));
  EXPECT_TRUE(http_get(u"https://example.org/a/release.bin", out, kReleaseLimits));
  EXPECT_EQ(out.size(), 4u << 20);
}

// Redirects do not restart the clock: the deadline is the attempt's.
TEST_F(FetchOnTheClock, RedirectsShareTheAttemptsDeadline) {
  for (int i = 0; i < 3; ++i) {
    FakeResponse hop;
    hop.status = 302;
    hop.location = "/" + std::to_string(i + 1);
    hop.chunks = {"moved"};
    fake.responses["http://h/" + std::to_string(i)] = hop;
  }
  FakeResponse end = ok_body("");
  end.chunks.assign(100, "x");
  end.gap_ms = 1000;
  fake.responses["http://h/3"] = end;
  const std::uint64_t start = fake.clock_ms;
  EXPECT_FALSE(http_get(u"http://h/0", out, kManifestLimits));
  EXPECT_EQ(fake.deadlines.back(), start + 30000);
}

TEST_F(Fetch, FollowsRedirectsButNeverDownToPlainHttp) {
  FakeResponse moved;
  moved.status = 302;
  moved.location = "/b/release.bin?x=1";
  fake.responses[kUrl] = moved;
  fake.responses["https://example.org/b/release.bin?x=1"] = ok_body("moved here");
  EXPECT_TRUE(http_get(u"https://example.org/a/release.bin", out, waits(1)));
  EXPECT_EQ(out, "moved here");
  EXPECT_EQ(fake.requested.back(), "https://example.org/b/release.bin?x=1");

  // Only the final status counts.
  fake.responses["https://example.org/b/release.bin?x=1"].status = 404;
  EXPECT_FALSE(http_get(u"https://example.org/a/release.bin", out, waits(1)));

  fake.requested.clear();
  fake.responses[kUrl].location = "http://example.org/evil.bin";
  fake.responses["http://example.org/evil.bin"] = ok_body("evil");
  EXPECT_FALSE(http_get(u"https://example.org/a/release.bin", out, waits(1)));
  EXPECT_EQ(out, "");
  EXPECT_EQ(fake.requested, std::vector<Utf8String>{kUrl});

  // Plain http may move up to https, and on within http.
  FakeResponse up;
  up.status = 301;
  up.location = "https://example.org/a/release.bin";
  fake.responses["http://example.org/start"] = up;
  fake.responses[kUrl] = ok_body("secure");
  EXPECT_TRUE(http_get(u"http://example.org/start", out, waits(1)));
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
    EXPECT_EQ(http_get(u"http://h/0", out, waits(1)), hops == 10) << hops;
  }
}

TEST_F(Fetch, ARefusedBodyCountsAsNoAnswerFromThatSource) {
  const BodyCheck wants_real = [](const Utf8String& body) { return body == "real"; };
  fake.responses[via_proxy(0, kUrl)] = ok_body("forged");
  fake.responses[via_proxy(2, kUrl)] = ok_body("real");
  fake.responses[kUrl] = ok_body("real too");
  EXPECT_EQ(fetch_with_mirrors(kUrl, out, waits(7), wants_real), MirrorFetch::fetched);
  EXPECT_EQ(out, "real");
  EXPECT_EQ(fake.requested,
            (std::vector<Utf8String>{via_proxy(0, kUrl), via_proxy(1, kUrl), via_proxy(2, kUrl)}));

  // Refused everywhere it answered, versus no answer at all.
  fake.responses.erase(via_proxy(2, kUrl));
  fake.responses.erase(kUrl);
  fake.requested.clear();
  out = "stale";
  EXPECT_EQ(fetch_with_mirrors(kUrl, out, waits(7), wants_real), MirrorFetch::refused);
  EXPECT_EQ(out, "");
  EXPECT_EQ(fake.requested, all_four(kUrl));
  fake.responses.clear();
  EXPECT_EQ(fetch_with_mirrors(kUrl, out, waits(7), wants_real), MirrorFetch::unreachable);
  EXPECT_EQ(out, "");
}

}  // namespace
