#include "update/fetch.h"

#include "text/utf.h"
#include "update/release_location.h"
#include "update/update_ops.h"

namespace {

bool is_redirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// What one request of an attempt came back with.
struct Response {
  explicit Response(Utf8String& out) : body(out) {}
  Utf8String& body;
  bool wanted = false;  // a 2xx head
  bool over_limit = false;
  Utf8String redirect;  // the Location of a redirect
};

bool take_head(void* context, long status, const Utf8String& location) {
  auto& r = *static_cast<Response*>(context);
  if (is_redirect(status) && !location.empty()) {
    r.redirect = location;
    return false;
  }
  r.wanted = status >= 200 && status <= 299;
  return r.wanted;
}

bool take_body(void* context, const char* data, std::size_t length) {
  auto& r = *static_cast<Response*>(context);
  if (length > kBodyLimit - r.body.size()) {
    r.over_limit = true;
    return false;
  }
  r.body.append(data, length);
  return true;
}

}  // namespace

bool http_get(const WideString& url, Utf8String& out, std::uint32_t timeout_ms) {
  out.clear();
  Utf8String current = utf16_to_utf8(url);
  for (int redirects = 0;; ++redirects) {
    Response response{out};
    const HttpResponseSink sink{&response, take_head, take_body};
    const HttpOutcome outcome =
        update_ops().http_get_once(utf8_to_utf16(current), timeout_ms, sink);
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

MirrorFetch fetch_with_mirrors(const Utf8String& url, Utf8String& out, std::uint32_t timeout_ms,
                               const BodyCheck& accept) {
  MirrorFetch result = MirrorFetch::unreachable;
  for (int i = 0; i <= kProxyCount; ++i) {
    const Utf8String attempt = (i < kProxyCount ? Utf8String(kProxyPrefixes[i]) : "") + url;
    if (http_get(utf8_to_utf16(attempt), out, timeout_ms)) {
      if (accept(out)) return MirrorFetch::fetched;
      result = MirrorFetch::refused;
    }
    out.clear();
  }
  return result;
}

bool fetch_with_mirrors(const Utf8String& url, Utf8String& out, std::uint32_t timeout_ms) {
  const BodyCheck any = [](const Utf8String&) { return true; };
  return fetch_with_mirrors(url, out, timeout_ms, any) == MirrorFetch::fetched;
}

bool fetch_manifest(Utf8String& out) {
  return fetch_with_mirrors(kManifestUrl, out, kManifestTimeoutMs);
}

bool fetch_release_file(const Utf8String& url, Utf8String& out) {
  return fetch_with_mirrors(url, out, kReleaseTimeoutMs);
}

MirrorFetch fetch_manifest(Utf8String& out, const BodyCheck& accept) {
  return fetch_with_mirrors(kManifestUrl, out, kManifestTimeoutMs, accept);
}

MirrorFetch fetch_release_file(const Utf8String& url, Utf8String& out, const BodyCheck& accept) {
  return fetch_with_mirrors(url, out, kReleaseTimeoutMs, accept);
}
