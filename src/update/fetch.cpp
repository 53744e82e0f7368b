#include "update/fetch.h"

#include <algorithm>

#include "service/platform.h"
#include "text/utf.h"
#include "update/release_location.h"
#include "update/update_ops.h"

namespace {

bool is_redirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// What one request of an attempt came back with.
struct Response {
  Response(Utf8String& out, const FetchLimits& limits, std::uint64_t started)
      : body(out),
        limits(limits),
        started(started),
        deadline(started + attempt_deadline_ms(limits, -1)) {}
  Utf8String& body;
  const FetchLimits& limits;
  std::uint64_t started;   // when the attempt began, redirects before this one included
  std::uint64_t deadline;  // absolute, on the platform's monotonic clock
  bool wanted = false;     // a 2xx head
  bool over_limit = false;
  Utf8String redirect;  // the Location of a redirect
};

bool take_head(void* context, long status, const Utf8String& location, long long announced) {
  auto& r = *static_cast<Response*>(context);
  if (is_redirect(status) && !location.empty()) {
    r.redirect = location;
    return false;
  }
  r.wanted = status >= 200 && status <= 299;
  if (r.wanted && announced > static_cast<long long>(r.limits.body_limit)) {
    r.over_limit = true;
    return false;
  }
  r.deadline = r.started + attempt_deadline_ms(r.limits, announced);
  return r.wanted;
}

bool take_body(void* context, const char* data, std::size_t length) {
  auto& r = *static_cast<Response*>(context);
  if (length > r.limits.body_limit - r.body.size()) {
    r.over_limit = true;
    return false;
  }
  r.body.append(data, length);
  return true;
}

std::uint64_t deadline_of(void* context) { return static_cast<Response*>(context)->deadline; }

}  // namespace

std::uint64_t attempt_deadline_ms(const FetchLimits& limits, long long announced) {
  std::uint64_t deadline = limits.base_deadline_ms;
  if (announced > 0) {
    constexpr std::uint64_t kMebibyte = 1 << 20;
    // Bounded first, so that no announced length can overflow the product.
    const std::uint64_t bytes =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(announced), std::uint64_t{1} << 40);
    deadline += bytes * limits.ms_per_mebibyte / kMebibyte;
  }
  return std::min<std::uint64_t>(deadline, limits.max_deadline_ms);
}

bool http_get(const WideString& url, Utf8String& out, const FetchLimits& limits) {
  out.clear();
  const std::uint64_t started = platform().monotonic_ms();
  Utf8String current = utf16_to_utf8(url);
  for (int redirects = 0;; ++redirects) {
    Response response{out, limits, started};
    const HttpResponseSink sink{&response, take_head, take_body, deadline_of};
    const HttpOutcome outcome =
        update_ops().http_get_once(utf8_to_utf16(current), limits.per_wait_ms, sink);
    if (outcome == HttpOutcome::no_response) break;
    if (!response.redirect.empty()) {
      if (redirects == kMaxRedirects) break;
      current = resolve_redirect(current, response.redirect);
      if (current.empty()) break;
      continue;
    }
    // A body cut short is refused as a whole: without a digest in the
    // manifest a truncated executable would otherwise be installed.
    if (!response.wanted || response.over_limit || outcome == HttpOutcome::broken) break;
    return !out.empty();
  }
  out.clear();
  return false;
}

Utf8String source_url(int source, const Utf8String& url) {
  return (source < kProxyCount ? Utf8String(kProxyPrefixes[source]) : "") + url;
}

MirrorFetch fetch_with_mirrors(const Utf8String& url, Utf8String& out, const FetchLimits& limits,
                               const BodyCheck& accept) {
  MirrorFetch result = MirrorFetch::unreachable;
  for (int i = 0; i < kSourceCount; ++i) {
    if (http_get(utf8_to_utf16(source_url(i, url)), out, limits)) {
      if (accept(out)) return MirrorFetch::fetched;
      result = MirrorFetch::refused;
    }
    out.clear();
  }
  return result;
}

bool fetch_with_mirrors(const Utf8String& url, Utf8String& out, const FetchLimits& limits) {
  const BodyCheck any = [](const Utf8String&) { return true; };
  return fetch_with_mirrors(url, out, limits, any) == MirrorFetch::fetched;
}

std::vector<Utf8String> fetch_from_every_source(const Utf8String& url, const FetchLimits& limits) {
  std::vector<Utf8String> bodies(kSourceCount);
  for (int i = 0; i < kSourceCount; ++i) {
    http_get(utf8_to_utf16(source_url(i, url)), bodies[i], limits);
  }
  return bodies;
}

std::vector<Utf8String> fetch_manifests() {
  return fetch_from_every_source(kManifestUrl, kManifestLimits);
}

MirrorFetch fetch_release_file(const Utf8String& url, Utf8String& out, const BodyCheck& accept) {
  return fetch_with_mirrors(url, out, kReleaseLimits, accept);
}
