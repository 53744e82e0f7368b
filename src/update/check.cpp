#include "update/check.h"

#include <cstdint>

#include "service/version.h"
#include "text/json.h"
#include "update/fetch.h"
#include "update/install.h"
#include "update/signature.h"
#include "update/update_log.h"
#include "update/update_ops.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The next run of digits from `at` on, skipping whatever precedes it; 0 when
// no digit is left. Wraps silently past the 64-bit range, which versions
// never reach.
std::int64_t next_component(const Utf8String& text, std::size_t& at) {
  while (at < text.size() && !is_digit(text[at])) ++at;
  std::uint64_t value = 0;
  while (at < text.size() && is_digit(text[at])) {
    value = value * 10 + static_cast<std::uint64_t>(text[at] - '0');
    ++at;
  }
  return static_cast<std::int64_t>(value);
}

// A manifest whose entry is signed with the release key: version, digest and
// signature all present, and the signature valid.
bool signed_with(const Utf8String& key, const Utf8String& manifest) {
  Utf8String entry, version, digest, signature;
  if (!json_get_object(manifest, "tessavin-server", entry) ||
      !json_get_string(entry, "version", version) || !json_get_string(entry, "sha256", digest)) {
    return false;
  }
  json_get_string(entry, "signature", signature);
  return check_release_signature(key, version, digest, signature) == SignatureCheck::valid;
}

}  // namespace

Utf8String check_message::up_to_date(const Utf8String& version) {
  return "已是最新版本（" + version + "）。";
}

Utf8String check_message::no_download_url(const Utf8String& version) {
  return "发现新版本 " + version + "，但清单缺少下载地址。";
}

Utf8String check_message::downloading(const Utf8String& version) {
  return "发现新版本 " + version + "，正在下载…";
}

bool is_newer_version(const Utf8String& candidate, const Utf8String& current) {
  std::size_t a = 0;
  std::size_t b = 0;
  for (int compared = 0; compared < 8; ++compared) {
    const std::int64_t x = next_component(candidate, a);
    const std::int64_t y = next_component(current, b);
    if (x != y) return x > y;
    if (a >= candidate.size() && b >= current.size()) return false;
  }
  return false;
}

// With a release key, a source counts only when it delivers a manifest signed
// with that key and then the very file whose digest was signed; anything else
// is treated as if the source had not answered, and the next one is asked.
// Without a key the first answer is taken, whatever it holds.
void self_update_thread(void*) {
  const UpdateOps& ops = update_ops();
  if (ops.switched_off()) return;
  update_log(check_message::kChecking);
  const Utf8String key = ops.release_public_key ? ops.release_public_key : "";
  const bool signed_only = !key.empty();

  Utf8String manifest;
  const BodyCheck signed_manifest = [&](const Utf8String& body) {
    return !signed_only || signed_with(key, body);
  };
  if (fetch_manifest(manifest, signed_manifest) != MirrorFetch::fetched) {
    return update_log(check_message::kNoManifest);
  }
  Utf8String entry;
  if (!json_get_object(manifest, "tessavin-server", entry)) {
    return update_log(check_message::kNoEntry);
  }
  Utf8String version;
  if (!json_get_string(entry, "version", version)) return update_log(check_message::kNoVersion);
  if (!is_newer_version(version, kServiceVersion)) {
    return update_log(check_message::up_to_date(version));
  }
  Utf8String url;
  if (!json_get_string(entry, "url", url) || url.empty()) {
    return update_log(check_message::no_download_url(version));
  }
  Utf8String digest;
  json_get_string(entry, "sha256", digest);

  update_log(check_message::downloading(version));
  Utf8String package;
  const BodyCheck signed_file = [&](const Utf8String& body) {
    return !signed_only || package_matches_digest(body, digest);
  };
  switch (fetch_release_file(url, package, signed_file)) {
    case MirrorFetch::unreachable:
      return update_log(check_message::kDownloadFailed);
    case MirrorFetch::refused:
      return update_log(install_message::kDigestFailed);
    case MirrorFetch::fetched:
      break;
  }
  install_update(package, digest, version);
}
