#pragma once
// Fetching one URL into memory for the self-update, through the download
// proxies first and the URL itself last. Nothing here logs.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "text/strings.h"

inline constexpr std::uint32_t kManifestTimeoutMs = 6000;
inline constexpr std::uint32_t kReleaseTimeoutMs = 60000;
// A body of exactly this size is taken; one byte more fails the attempt.
inline constexpr std::size_t kBodyLimit = 67108864;
// Redirects followed within one attempt before it fails.
inline constexpr int kMaxRedirects = 10;

// One attempt: true for a 2xx answer with a non-empty body within the limit,
// read to its end, which `out` then holds. `out` is empty on failure.
// Redirects are followed (see resolve_redirect), up to kMaxRedirects.
bool http_get(const WideString& url, Utf8String& out, std::uint32_t timeout_ms);

// Tries each proxy prefix + `url`, then `url` itself, and stops at the first
// attempt that succeeds. False, with `out` empty, when all four failed.
bool fetch_with_mirrors(const Utf8String& url, Utf8String& out, std::uint32_t timeout_ms);

bool fetch_manifest(Utf8String& out);
bool fetch_release_file(const Utf8String& url, Utf8String& out);

// Judges a body one source delivered; a refused body counts as not fetched
// from that source, and the next source is tried.
using BodyCheck = std::function<bool(const Utf8String& body)>;

enum class MirrorFetch {
  fetched,      // `out` holds the first body the check accepted
  unreachable,  // no source delivered a body
  refused,      // some delivered one, and the check refused every one
};

// fetch_with_mirrors, with `accept` asked about each body in turn.
MirrorFetch fetch_with_mirrors(const Utf8String& url, Utf8String& out, std::uint32_t timeout_ms,
                               const BodyCheck& accept);
MirrorFetch fetch_manifest(Utf8String& out, const BodyCheck& accept);
MirrorFetch fetch_release_file(const Utf8String& url, Utf8String& out, const BodyCheck& accept);

// The absolute URL a redirect from `from` to `location` leads to, or empty
// when it must not be followed: a scheme other than http or https, or a step
// down from https to plain http, which would let anyone on the path replace
// what is being downloaded.
Utf8String resolve_redirect(const Utf8String& from, const Utf8String& location);
