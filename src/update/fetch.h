#pragma once
// Fetching one URL into memory for the self-update, through the download
// proxies first and the URL itself last. Nothing here logs.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "text/strings.h"

// How long one attempt (one source, its redirects included) may take, and
// how much it may bring. A hostile source must not hold the update thread:
// every wait is bounded, and so is the attempt as a whole. The whole-attempt
// deadline starts at `base_deadline_ms`, grows by `ms_per_mebibyte` for each
// MiB the answer announces, and never passes `max_deadline_ms`.
struct FetchLimits {
  std::uint32_t per_wait_ms;
  std::uint32_t base_deadline_ms;
  std::uint32_t ms_per_mebibyte;
  std::uint32_t max_deadline_ms;
  std::size_t body_limit;  // a body of exactly this size is taken, one byte more is not
};

// A manifest is a few hundred bytes: 6 s per wait, 30 s in all, 64 KiB.
inline constexpr FetchLimits kManifestLimits{6000, 30000, 0, 30000, 65536};
// The release file: 60 s per wait; 60 s plus one second per 64 KiB announced
// (a floor of 64 KiB/s), at most 20 minutes; 64 MiB.
inline constexpr FetchLimits kReleaseLimits{60000, 60000, 16000, 1200000, 67108864};
// Redirects followed within one attempt before it fails.
inline constexpr int kMaxRedirects = 10;

// The deadline, in milliseconds after the attempt began, for an answer that
// announces `announced` body bytes (-1: unknown, which earns no extra time).
std::uint64_t attempt_deadline_ms(const FetchLimits& limits, long long announced);

// One attempt: true for a 2xx answer with a non-empty body within the limit,
// read to its end within the deadline, which `out` then holds. `out` is empty
// on failure. Redirects are followed (see resolve_redirect), up to
// kMaxRedirects.
bool http_get(const WideString& url, Utf8String& out, const FetchLimits& limits);

// The attempt URL of source `source` (0 to 2: the proxies, 3: the URL itself).
inline constexpr int kSourceCount = 4;
Utf8String source_url(int source, const Utf8String& url);

// Judges a body one source delivered; a refused body counts as not fetched
// from that source, and the next source is tried.
using BodyCheck = std::function<bool(const Utf8String& body)>;

enum class MirrorFetch {
  fetched,      // `out` holds the first body the check accepted
  unreachable,  // no source delivered a body
  refused,      // some delivered one, and the check refused every one
};

// Tries each proxy prefix + `url`, then `url` itself, and stops at the first
// body that `accept` takes. `out` is empty unless fetched.
MirrorFetch fetch_with_mirrors(const Utf8String& url, Utf8String& out, const FetchLimits& limits,
                               const BodyCheck& accept);
// The same, taking any body.
bool fetch_with_mirrors(const Utf8String& url, Utf8String& out, const FetchLimits& limits);

// Asks every source, in order, and returns what each delivered (empty for a
// failed attempt): so that one source answering first with something old
// cannot decide alone.
std::vector<Utf8String> fetch_from_every_source(const Utf8String& url, const FetchLimits& limits);

// The manifest from every source; the release file from the first source
// whose body `accept` takes.
std::vector<Utf8String> fetch_manifests();
MirrorFetch fetch_release_file(const Utf8String& url, Utf8String& out, const BodyCheck& accept);

// The absolute URL a redirect from `from` to `location` leads to, or empty
// when it must not be followed: a scheme other than http or https, or a step
// down from https to plain http, which would let anyone on the path replace
// what is being downloaded.
Utf8String resolve_redirect(const Utf8String& from, const Utf8String& location);

// True when `url` is an http or https URL whose host is a loopback address
// (127.0.0.1, [::1] or localhost), with no user part.
bool is_loopback_url(const Utf8String& url);
