#include <gtest/gtest.h>

#include "update/fetch.h"

namespace {

TEST(Redirect, ResolvesEachFormOfLocation) {
  const struct {
    const char* from;
    const char* location;
    const char* target;  // empty: not followed
  } cases[] = {
      {"https://a.org/x/y?q", "https://b.org/z", "https://b.org/z"},
      {"https://a.org/x/y?q", "HTTPS://b.org/z", "HTTPS://b.org/z"},
      {"https://a.org:8443/x/y", "//c.org/p", "https://c.org/p"},
      {"https://a.org:8443/x/y?q", "/p?r", "https://a.org:8443/p?r"},
      {"https://a.org/x/y?q#f", "z", "https://a.org/x/z"},
      {"https://a.org", "z", "https://a.org/z"},
      {"https://a.org?q", "/z", "https://a.org/z"},
      {"http://a.org/x/y", "?n=2", "http://a.org/x/y?n=2"},
      {"http://a.org/x/", "  ../z\t", "http://a.org/x/../z"},
      {"http://a.org/x", "https://a.org/x", "https://a.org/x"},
      {"http://a.org/x", "http://b.org/x", "http://b.org/x"},
      // Never from https down to plain http, whatever the spelling.
      {"https://a.org/x", "http://a.org/x", ""},
      {"https://a.org/x", "HTTP://a.org/x", ""},
      {"HTTPS://a.org/x", "http://a.org/x", ""},
      // Nothing but http and https.
      {"https://a.org/x", "file:///etc/passwd", ""},
      {"https://a.org/x", "ftp://a.org/x", ""},
      {"https://a.org/x", "", ""},
      {"https://a.org/x", "   ", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(resolve_redirect(c.from, c.location), c.target) << c.from << " -> " << c.location;
  }
}

// Where a test build may take unsigned files from.
TEST(IsLoopbackUrl, OnlyHttpToTheLoopbackHostItself) {
  const struct {
    const char* url;
    bool loopback;
  } cases[] = {
      {"http://127.0.0.1:17651/mirror/1/x", true},
      {"https://127.0.0.1/x", true},
      {"HTTP://LOCALHOST:8/x", true},
      {"http://localhost", true},
      {"https://[::1]:5/x?y#z", true},
      {"http://127.0.0.1?x", true},
      {"http://127.0.0.2/x", false},
      {"http://127.0.0.1.example.org/x", false},
      {"http://localhost.example.org/", false},
      {"http://example.org/127.0.0.1/x", false},
      {"http://127.0.0.1@example.org/x", false},
      {"http://user@127.0.0.1/x", false},
      {"http://127.0.0.1:/x", false},
      {"http://127.0.0.1:80a/x", false},
      {"ftp://127.0.0.1/x", false},
      {"file:///etc/passwd", false},
      {"127.0.0.1/x", false},
      {"", false},
      {"https://github.com/zelvo/tessavin-server/releases/download/build-latest/x", false},
  };
  for (const auto& c : cases) EXPECT_EQ(is_loopback_url(c.url), c.loopback) << c.url;
}

}  // namespace
